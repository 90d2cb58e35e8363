// One HTTP/1.1 exchange over libcurl, driven from blocking calls in the order a WinHTTP or
// WinINet program makes them: send, receive, then data-available / read until the body ends.
// Both request stacks of the client use it, so the wire discipline lives here once:
// - on the wire go the request line, Host, exactly the caller's header lines in their order,
//   and Content-Length when there is a body; libcurl adds none of its own (no Accept, Expect,
//   Accept-Encoding, Pragma, User-Agent, Proxy-Connection) and decodes no content encoding;
// - the request target is the path and query exactly as given (through a proxy: the absolute
//   URL); a fragment is not sent;
// - only the final response's headers count: 1xx interim responses and followed redirects are
//   skipped;
// - each failure shows at the call where a WinHTTP program sees it: resolve, connect, TLS and
//   send failures at `send`; no status line (timeout, connection closed) at `receive`; anything
//   after the headers at `read`, after every byte received before it was handed out;
// - every connection belongs to one transfer: none is taken over from an earlier exchange or
//   kept for a later one, and a followed redirect opens a new one; it is closed as soon as its
//   transfer ends. Names are looked up anew for every connection.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::curl {

class CookieStore;

// Limits in milliseconds; 0 or less is no limit. Resolve runs until the first socket is opened,
// connect until the connection (and TLS) is up, send is the longest pause while the request is
// handed over, receive the longest wait for the next byte of the response (an idle limit, not a
// limit on the whole transfer; the time between two calls does not count).
struct Timeouts {
  int resolve_ms = 0;
  int connect_ms = 0;
  int send_ms = 0;
  int receive_ms = 0;
};

// Basic authentication; user name and password travel separately, so ':' and '%' survive.
struct Credentials {
  std::string user;
  std::string password;
};

struct ExchangeRequest {
  std::string method = "GET";  // sent as is
  bool secure = false;         // https: the certificate and the host name are verified
  std::string host;            // a name or an address (an IPv6 address with or without brackets)
  int port = 80;
  // Path and query, sent as given: no dot segment removed, no escape touched. A fragment
  // ("#" and what follows) is not sent. Bytes below 0x21 or above 0x7E make the send fail.
  std::string target = "/";
  std::vector<std::string> header_lines;  // "Name: value" without CR LF, sent in this order
  std::string body;                       // sent with Content-Length when not empty, any method
  std::string proxy;  // "host:port" of an HTTP proxy (https through a tunnel); empty: direct
  std::optional<Credentials> server_credentials;  // Basic, sent with the first request
  std::optional<Credentials> proxy_credentials;
  int max_redirects = 10;  // 0 or less: a redirect response is the final response
  // Schemes a followed redirect may lead to ("http", "https" or both, comma-separated); a
  // redirect to another scheme fails the exchange at `receive`.
  std::string redirect_schemes = "http,https";
  Timeouts timeouts;
  CookieStore* cookie_store = nullptr;  // see cookie_store.h
};

class Exchange {
 public:
  Exchange();
  ~Exchange();
  Exchange(Exchange&&) noexcept;
  Exchange& operator=(Exchange&&) noexcept;

  // Starts the exchange and drives it until the whole request has been handed to the
  // connection. False when the host cannot be resolved or reached, the TLS handshake or the
  // send fails, or a limit runs out first. One send per Exchange; a second one fails.
  bool send(ExchangeRequest request);
  // Drives until the final response's headers are complete. False when none arrives within
  // the idle limit, the connection ends before one, or redirects fail (too many of them).
  bool receive();
  // The final response's header lines, each ending with CR LF (bare LF endings become CR LF),
  // then the empty line; empty until `receive` succeeded.
  const std::string& raw_headers() const;
  // The number of body bytes ready for `read`, waiting up to the idle limit when none is.
  // 0 at the end of the body and before `receive` succeeded. A failure after the headers
  // (connection closed mid-body, bad chunked encoding, idle limit) counts as 1 byte ready once
  // every byte before it is consumed, so that the next `read` reports it.
  std::size_t data_available();
  // Copies up to `size` bytes to `out` (waiting like data_available when none is ready) and
  // sets `got`. The engine holds only what one round of the transfer brought and has not been
  // read: the transfer moves on only once all of it is consumed, and its room is reused. True
  // with got = 0 at the end of the body; false, with got = 0, for the failure after the
  // headers and before `receive` succeeded.
  bool read(char* out, std::size_t size, std::size_t& got);

  // libcurl's text for the failure, empty while there is none. For diagnostics only.
  std::string failure() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace platform::curl
