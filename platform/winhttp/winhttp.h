// The session, connection and request operations a WinHTTP-style program calls on, over the
// libcurl exchange engine (platform/curl). Each operation reports success or failure the way
// the request function needs it to pick its status message; the exchange itself runs inside
// send_request, receive_response, query_data_available and read_data.
//
// Strings cross this interface as UTF-16LE bytes (two bytes per code unit, low byte first), as
// the request layer holds them. Such a string ends at its first zero code unit or at the end of
// the view, whichever comes first; an odd last byte is ignored.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace platform::winhttp {

using Utf16 = std::string_view;

// The library is always usable here; the operation exists for the caller's first step.
bool check_platform();

// The parts of a URL. Pointers point into the string given to crack_url (null with length 0
// for a part that is not there); lengths count UTF-16 code units.
struct UrlComponents {
  int scheme_number = 0;  // 1 http, 2 https
  const char* scheme = nullptr;
  int scheme_length = 0;
  const char* host = nullptr;
  int host_length = 0;
  int port = 0;                    // the explicit port, else 80 for http and 443 for https
  const char* url_path = nullptr;  // from the "/" after the host up to "?" or "#"
  int url_path_length = 0;
  const char* extra_info = nullptr;  // from the "?" or "#" on: query and fragment
  int extra_info_length = 0;
};
inline constexpr int kSchemeHttp = 1;
inline constexpr int kSchemeHttps = 2;

// Splits the first `length` code units of `url` (a negative length: up to its end). User name
// and password ("user:password@" before the host) are skipped. False, leaving `parts` as it
// was, for a malformed URL: a scheme other than "http://" or "https://" (letter case ignored),
// an empty host, or a port that is not a number from 1 to 65535.
bool crack_url(Utf16 url, int length, UrlComponents& parts);

struct Session;
struct Connection;
struct Request;
// Closing a handle is destroying it. A child may outlive its parent: closing a session or a
// connection while a request on it is open is safe.
struct CloseSession {
  void operator()(Session* session) const;
};
struct CloseConnection {
  void operator()(Connection* connection) const;
};
struct CloseRequest {
  void operator()(Request* request) const;
};
using SessionHandle = std::unique_ptr<Session, CloseSession>;
using ConnectionHandle = std::unique_ptr<Connection, CloseConnection>;
using RequestHandle = std::unique_ptr<Request, CloseRequest>;

enum class Access { no_proxy = 1, named_proxy = 3 };

// A named proxy is a list of entries separated by ';' or blanks, each "[scheme=]host[:port]"
// (port 80 when left out); an entry with a scheme serves only that scheme, one without serves
// both. A request whose scheme no entry serves goes direct. Null for a named proxy without any
// entry.
SessionHandle open_session(Access access, Utf16 proxy_name);
// Null for an empty host. Port 0 is the scheme's default.
ConnectionHandle connect(Session& session, Utf16 host, int port);
// `method` empty is "GET"; `path` is the path and query, sent as given (code units that cannot
// stand on a request line, blanks, controls and non-ASCII, go as %-escaped UTF-8; a fragment
// is not sent).
RequestHandle open_request(Connection& connection, Utf16 method, Utf16 path, bool secure);

// Milliseconds; 0 or -1 is no limit; below -1 refused. Without this call: no resolve limit,
// 60 s connect, 30 s send and receive.
bool set_timeouts(Request& request, int resolve_ms, int connect_ms, int send_ms, int receive_ms);

enum class AuthTarget { server = 0, proxy = 1 };
// Basic credentials, sent with the request (to the proxy: with the request or the tunnel).
bool set_basic_credentials(Request& request, AuthTarget target, Utf16 user, Utf16 password);

inline constexpr std::uint32_t kDisableCookies = 1;    // no cookie of the library's own
inline constexpr std::uint32_t kDisableRedirects = 2;  // a redirect is the final response
// False for a flag it does not know. Without kDisableCookies, the request sends and stores the
// cookies of its session's own store.
bool disable_feature(Request& request, std::uint32_t flags);
// No feature that can be switched on is provided; refused for every non-zero flag.
bool enable_feature(Request& request, std::uint32_t flags);

inline constexpr std::uint32_t kAddHeader = 0x20000000;
inline constexpr std::uint32_t kReplaceHeader = 0x80000000;
// Header lines separated by CR LF (`length` code units, negative: up to the end). Each line is
// "Name: value". With kReplaceHeader a line replaces the request's header of the same name
// (letter case ignored) in its place, or removes it when its value is empty; when there is
// none, kAddHeader adds it (and without kAddHeader nothing happens). Without kReplaceHeader
// every line is added. False, with no header
// changed, when a line has no name, a name with blanks or controls, or a lone CR or LF.
bool add_request_headers(Request& request, Utf16 headers, int length, std::uint32_t modifiers);

// Sends the request with the body (`length` bytes, none when 0). False when the host cannot
// be resolved or reached, TLS fails, or the request cannot be sent within the limits.
bool send_request(Request& request, const void* body, std::uint32_t length);
// False when no final response arrives within the receive limit.
bool receive_response(Request& request);
// The final response's raw headers, CR LF lines ending with an empty line, as UTF-16LE with a
// zero terminator. Two calls: with `buffer` null or `size` (bytes) too small, false with `size`
// set to the bytes needed, terminator included; else the buffer is filled and `size` set to the
// bytes written without the terminator. False with `size` 0 before a response was received.
bool query_raw_headers(Request& request, void* buffer, std::uint32_t& size);
// The Content-Length of the final response; false when it has none (or none was received).
// A hint for sizing a buffer only: the body may end up shorter or longer.
bool query_content_length(Request& request, std::uint64_t& length);
// Bytes ready to read (0 at the end of the body). A failure after the headers shows as one
// byte ready, which the next read_data reports.
bool query_data_available(Request& request, std::uint32_t& available);
// Reads up to `size` bytes; `read` the number read, 0 at the end of the body.
bool read_data(Request& request, void* buffer, std::uint32_t size, std::uint32_t& read);

// Seams for tests of the request layer.
namespace testing {
enum class Role {
  check_platform,
  crack_url,
  open_session,
  connect,
  open_request,
  set_timeouts,
  set_credentials,
  set_option,  // disable_feature and enable_feature
  add_headers,
  send,
  receive,
  query_headers,
  query_data_available,
  read,
};
// The `nth` call of `role` from now on fails as the real operation would (a null handle or
// false, nothing else changed). Several such failures may be pending at once.
void fail_call(Role role, int nth = 1);
void clear_failures();
// Sessions, connections and requests open now, in the whole process.
int open_handles();
// The four limits (milliseconds) that the most recent set_timeouts call was given.
struct TimeoutsGiven {
  int resolve_ms = 0;
  int connect_ms = 0;
  int send_ms = 0;
  int receive_ms = 0;
  bool operator==(const TimeoutsGiven&) const = default;
};
TimeoutsGiven last_timeouts();
}  // namespace testing

}  // namespace platform::winhttp
