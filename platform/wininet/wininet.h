// The session, connection and request operations a WinINet-style program calls on, over the
// libcurl exchange engine (platform/curl). Strings are ANSI: CP936 bytes, passed through as
// they are. The whole exchange runs inside send_request (request out, final response's headers
// in); read_file and query_raw_headers hand out what arrived.
//
// Requests made without kFlagNoCookies share one in-memory cookie store for the whole process:
// it stores the cookies their responses set (redirects included) and sends the matching ones
// as a Cookie line. A request with kFlagNoCookies neither reads nor writes it. Nothing is ever
// written to a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace platform::wininet {

struct Session;
struct Connection;
struct Request;
// Closing a handle is destroying it. A child may outlive its parent.
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

enum class Access { direct = 1, proxy = 3 };

// `agent` goes on the wire as "User-Agent: <agent>" after the header lines of every request on
// the session that carries no User-Agent line of its own; it is cut at its first CR or LF, and
// an empty agent adds no line.
// With Access::proxy, `proxy_name` lists entries "[scheme=]host[:port]" separated by ';' or
// blanks (port 80 when left out). An entry with a scheme ("http=p:8080") serves only that
// scheme, one without serves http and https (https through a CONNECT tunnel); a request whose
// scheme no entry serves goes direct. `bypass` lists hosts that always go direct, separated by
// ';', ',' or blanks: "*" matches any run of characters, letter case is ignored, "<local>"
// matches every host without a '.'. Null for Access::proxy without any entry. With
// Access::direct both lists are ignored.
SessionHandle open_session(std::string_view agent, Access access, std::string_view proxy_name = {},
                           std::string_view bypass = {});

// Null for an empty host, a host holding a blank, a control, '/', '?', '#', '@' or '\', or a
// port outside 0-65535; port 0 is the default of the request's scheme (80, or 443 with
// kFlagSecure).
ConnectionHandle connect(Session& session, std::string_view host, int port);

// Request flags. kFlagReload and kFlagNeedFile concern a cache, which there is none of here:
// every request goes to the server. Other bits are ignored.
inline constexpr std::uint32_t kFlagReload = 0x80000000;
inline constexpr std::uint32_t kFlagNeedFile = 0x10;
inline constexpr std::uint32_t kFlagNoCookies = 0x80000;        // the cookie store is not used
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x200000;  // a redirect is final
inline constexpr std::uint32_t kFlagSecure = 0x800000;          // https
// A followed redirect from http may lead to https. Without it, and from https to http always,
// a redirect that changes the scheme makes send_request fail.
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x4000;

// `method` empty is "GET". `object_name` is the path and query; "/" when empty. Its bytes that
// cannot stand on a request line (blanks, controls, DEL, and every byte of 0x80 or more, so
// CP936 characters too) go %-escaped; '%' itself and the rest stay as given; a fragment is not
// sent. `version` must be empty or "HTTP/1.1", the only version spoken. Null for another
// version or a method holding a byte outside '!'-'~'.
RequestHandle open_request(Connection& connection, std::string_view method,
                           std::string_view object_name, std::string_view version,
                           std::uint32_t flags);

// Sends the request and waits for the final response's headers. `headers` holds header lines
// "Name: value" separated by CR LF (empty lines are skipped); they go on the wire exactly, in
// their order, after the request line and Host, followed by the session's agent line (see
// open_session), the store's Cookie line when it applies, and Content-Length when `body` is not
// empty. False, with nothing sent, when a line has no name, a name with blanks or controls, or
// a lone CR or LF. False also when the host cannot be resolved or reached, TLS fails, the
// request cannot be sent within 30 s of no progress (60 s to connect), no response arrives
// within 30 s of silence, or redirects fail; then there is nothing to read or query. One send
// per request.
bool send_request(Request& request, std::string_view headers, std::string_view body);

// Reads the body into `buffer` until `size` bytes were read or the body ends; `read` is the
// number read, 0 at the end. A failure after the headers shows as false with `read` 0 once
// every byte before it was read. False with `read` 0 when send_request did not succeed.
bool read_file(Request& request, void* buffer, std::uint32_t size, std::uint32_t& read);

// The final response's raw headers: the status line and the header lines, each ending with
// CR LF, then the empty line, zero-terminated. Two calls: with `buffer` null or `size` (bytes)
// too small, false with `size` set to the bytes needed, terminator included; else the buffer is
// filled and `size` set to the bytes written without the terminator. False with `size` 0 when
// send_request did not succeed.
bool query_raw_headers(Request& request, char* buffer, std::uint32_t& size);

// Seams for tests of the request layer.
namespace testing {
enum class Role { open_session, connect, open_request, send, read, query_headers };
// The `nth` call of `role` from now on fails as the real operation would (a null handle or
// false, nothing else changed).
void fail_call(Role role, int nth = 1);
void clear_failures();
// Sessions, connections and requests open now, in the whole process.
int open_handles();
// Empties the process-wide cookie store.
void clear_cookie_store();
}  // namespace testing

}  // namespace platform::wininet
