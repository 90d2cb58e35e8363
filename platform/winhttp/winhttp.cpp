#include "platform/winhttp/winhttp.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/curl/cookie_store.h"
#include "platform/curl/exchange.h"
#include "platform/curl/proxy_list.h"

namespace platform::winhttp {
namespace {

std::atomic<int> g_open_handles{0};

std::mutex g_timeouts_mutex;
testing::TimeoutsGiven g_last_timeouts;

struct Faults {
  std::mutex mutex;
  struct Fault {
    testing::Role role;
    int remaining;
  };
  std::vector<Fault> pending;
} g_faults;

// True when this call of `role` is one a test asked to fail.
bool injected(testing::Role role) {
  std::lock_guard lock(g_faults.mutex);
  for (auto fault = g_faults.pending.begin(); fault != g_faults.pending.end(); ++fault) {
    if (fault->role == role && --fault->remaining == 0) {
      g_faults.pending.erase(fault);
      return true;
    }
  }
  return false;
}

// The code units of `text` up to its first zero unit, `length` of them at most (negative: no
// limit).
std::u16string units_of(Utf16 text, int length = -1) {
  std::u16string units;
  std::size_t count = text.size() / 2;
  if (length >= 0) count = std::min(count, static_cast<std::size_t>(length));
  units.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(text[2 * i]) |
                                            static_cast<unsigned char>(text[2 * i + 1]) << 8);
    if (unit == 0) break;
    units.push_back(unit);
  }
  return units;
}

// The same units as bytes when every one of them is ASCII (the common case, which then needs
// no conversion); nothing otherwise.
std::optional<std::string> ascii_of(Utf16 text, int length = -1) {
  std::size_t count = text.size() / 2;
  if (length >= 0) count = std::min(count, static_cast<std::size_t>(length));
  std::string bytes(count, '\0');
  std::size_t n = 0;
  for (; n < count; ++n) {
    const char low = text[2 * n];
    const char high = text[2 * n + 1];
    if (high != 0 || static_cast<unsigned char>(low) >= 0x80) return std::nullopt;
    if (low == 0) break;
    bytes[n] = low;
  }
  bytes.resize(n);
  return bytes;
}

std::string utf8_of(Utf16 text) {
  if (auto ascii = ascii_of(text)) return std::move(*ascii);
  const std::u16string units = units_of(text);
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return codepage::convert(bytes, "UTF-16LE", "UTF-8").value_or(std::string());
}

std::string bytes_of(Utf16 text, int length = -1) {
  if (auto ascii = ascii_of(text, length)) return std::move(*ascii);
  return codepage::utf16_to_cp936(units_of(text, length));
}

std::u16string utf16_of(std::string_view cp936) {
  const bool ascii = std::all_of(cp936.begin(), cp936.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii ? std::u16string(cp936.begin(), cp936.end()) : codepage::cp936_to_utf16(cp936);
}

char16_t lower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
}

bool equal_case_blind(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
         });
}

// Bytes that cannot stand on a request line go %-escaped; '%' itself stays as given.
std::string request_target(Utf16 path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string target;
  for (unsigned char byte : utf8_of(path)) {
    if (byte <= 0x20 || byte >= 0x7F) {
      target.push_back('%');
      target.push_back(kHex[byte >> 4]);
      target.push_back(kHex[byte & 0xF]);
    } else {
      target.push_back(static_cast<char>(byte));
    }
  }
  return target;
}

struct SessionState {
  std::vector<curl::ProxyEntry> proxies;
  std::mutex mutex;
  std::shared_ptr<curl::CookieStore> cookies;  // made at the first request that uses it

  std::shared_ptr<curl::CookieStore> cookie_store() {
    std::lock_guard lock(mutex);
    if (!cookies) cookies = std::make_shared<curl::CookieStore>();
    return cookies;
  }

  std::string proxy_for(bool secure) const {
    return curl::proxy_for(proxies, secure ? "https" : "http");
  }
};

bool blank_value(std::string_view value) {
  return value.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

struct Session {
  std::shared_ptr<SessionState> state = std::make_shared<SessionState>();
};

struct Connection {
  std::shared_ptr<SessionState> session;
  std::string host;  // UTF-8
  int port = 0;
};

struct Request {
  std::shared_ptr<SessionState> session;
  std::string host;
  int port = 0;
  bool secure = false;
  std::string method;
  std::string target;
  curl::Timeouts timeouts{0, 60000, 30000, 30000};
  std::optional<curl::Credentials> server_credentials;
  std::optional<curl::Credentials> proxy_credentials;
  bool cookies_disabled = false;
  bool redirects_disabled = false;
  std::vector<std::string> headers;  // "Name: value", in the order they go on the wire
  // Declared after the store it may use, so that it ends first.
  std::shared_ptr<curl::CookieStore> cookie_store;
  curl::Exchange exchange;
  bool sent = false;
  bool received = false;
  std::optional<std::u16string> raw_headers;  // converted at the first query
};

void CloseSession::operator()(Session* session) const {
  delete session;
  --g_open_handles;
}
void CloseConnection::operator()(Connection* connection) const {
  delete connection;
  --g_open_handles;
}
void CloseRequest::operator()(Request* request) const {
  delete request;
  --g_open_handles;
}

bool check_platform() {
  return !injected(testing::Role::check_platform);
}

bool crack_url(Utf16 url, int length, UrlComponents& parts) {
  if (injected(testing::Role::crack_url)) return false;
  const std::u16string units = units_of(url, length);
  const std::u16string_view text = units;
  const std::size_t scheme_end = text.find(u"://");
  if (scheme_end == std::u16string_view::npos) return false;
  std::u16string scheme(text.substr(0, scheme_end));
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), lower);
  int scheme_number = 0;
  int port = 0;
  if (scheme == u"http") {
    scheme_number = kSchemeHttp;
    port = 80;
  } else if (scheme == u"https") {
    scheme_number = kSchemeHttps;
    port = 443;
  } else {
    return false;
  }

  const std::size_t authority_start = scheme_end + 3;
  const std::size_t authority_end =
      std::min(text.find_first_of(u"/?#", authority_start), text.size());
  std::size_t host_start = authority_start;
  if (const std::size_t at = text.substr(0, authority_end).rfind(u'@');
      at != std::u16string_view::npos && at >= authority_start) {
    host_start = at + 1;
  }
  std::size_t host_end = authority_end;
  // The port follows the last ':' that is not inside an IPv6 address in brackets.
  const std::size_t colon = text.substr(0, authority_end).rfind(u':');
  const std::size_t bracket = text.substr(0, authority_end).rfind(u']');
  if (colon != std::u16string_view::npos && colon >= host_start &&
      (bracket == std::u16string_view::npos || bracket < colon)) {
    host_end = colon;
    const std::u16string_view digits = text.substr(colon + 1, authority_end - colon - 1);
    if (!digits.empty()) {
      int value = 0;
      for (char16_t c : digits) {
        if (c < u'0' || c > u'9') return false;
        value = std::min(value * 10 + (c - u'0'), 65536);  // past the range stays past it
      }
      if (value < 1 || value > 65535) return false;
      port = value;
    }
  }
  if (host_end == host_start) return false;

  const std::size_t path_end = std::min(text.find_first_of(u"?#", authority_end), text.size());
  const auto at = [&](std::size_t unit) { return url.data() + 2 * unit; };
  parts = UrlComponents{};
  parts.scheme_number = scheme_number;
  parts.scheme = at(0);
  parts.scheme_length = static_cast<int>(scheme_end);
  parts.host = at(host_start);
  parts.host_length = static_cast<int>(host_end - host_start);
  parts.port = port;
  if (path_end > authority_end) {
    parts.url_path = at(authority_end);
    parts.url_path_length = static_cast<int>(path_end - authority_end);
  }
  if (text.size() > path_end) {
    parts.extra_info = at(path_end);
    parts.extra_info_length = static_cast<int>(text.size() - path_end);
  }
  return true;
}

SessionHandle open_session(Access access, Utf16 proxy_name) {
  if (injected(testing::Role::open_session)) return nullptr;
  auto session = std::make_unique<Session>();
  if (access == Access::named_proxy) {
    session->state->proxies = curl::parse_proxy_list(utf8_of(proxy_name));
    if (session->state->proxies.empty()) return nullptr;
  }
  ++g_open_handles;
  return SessionHandle(session.release());
}

ConnectionHandle connect(Session& session, Utf16 host, int port) {
  if (injected(testing::Role::connect)) return nullptr;
  std::string name = utf8_of(host);
  if (name.empty() || port < 0 || port > 65535) return nullptr;
  ++g_open_handles;
  return ConnectionHandle(new Connection{session.state, std::move(name), port});
}

RequestHandle open_request(Connection& connection, Utf16 method, Utf16 path, bool secure) {
  if (injected(testing::Role::open_request)) return nullptr;
  auto request = std::make_unique<Request>();
  request->session = connection.session;
  request->host = connection.host;
  request->port = connection.port != 0 ? connection.port : secure ? 443 : 80;
  request->secure = secure;
  request->method = bytes_of(method);
  if (request->method.empty()) request->method = "GET";
  request->target = request_target(path);
  if (request->target.empty()) request->target = "/";
  ++g_open_handles;
  return RequestHandle(request.release());
}

bool set_timeouts(Request& request, int resolve_ms, int connect_ms, int send_ms, int receive_ms) {
  {
    std::lock_guard lock(g_timeouts_mutex);
    g_last_timeouts = {resolve_ms, connect_ms, send_ms, receive_ms};
  }
  if (injected(testing::Role::set_timeouts)) return false;
  if (std::min({resolve_ms, connect_ms, send_ms, receive_ms}) < -1) return false;
  // 0 and -1 are no limit, as the engine's 0.
  const auto limit = [](int ms) { return ms < 0 ? 0 : ms; };
  request.timeouts = {limit(resolve_ms), limit(connect_ms), limit(send_ms), limit(receive_ms)};
  return true;
}

bool set_basic_credentials(Request& request, AuthTarget target, Utf16 user, Utf16 password) {
  if (injected(testing::Role::set_credentials)) return false;
  curl::Credentials credentials{bytes_of(user), bytes_of(password)};
  if (target == AuthTarget::server) {
    request.server_credentials = std::move(credentials);
  } else {
    request.proxy_credentials = std::move(credentials);
  }
  return true;
}

bool disable_feature(Request& request, std::uint32_t flags) {
  if (injected(testing::Role::set_option)) return false;
  if ((flags & ~(kDisableCookies | kDisableRedirects)) != 0) return false;
  if (flags & kDisableCookies) request.cookies_disabled = true;
  if (flags & kDisableRedirects) request.redirects_disabled = true;
  return true;
}

bool enable_feature(Request&, std::uint32_t flags) {
  if (injected(testing::Role::set_option)) return false;
  return flags == 0;
}

bool add_request_headers(Request& request, Utf16 headers, int length, std::uint32_t modifiers) {
  if (injected(testing::Role::add_headers)) return false;
  const std::string block = bytes_of(headers, length);
  // CP936 trail bytes are never CR or LF, so the block splits safely as bytes.
  std::vector<std::string_view> lines;
  lines.reserve(16);
  for (std::size_t at = 0; at < block.size();) {
    const std::size_t end = std::min(block.find("\r\n", at), block.size());
    const std::string_view line = std::string_view(block).substr(at, end - at);
    at = end + 2;
    if (line.empty()) continue;
    if (std::any_of(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; })) {
      return false;
    }
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return false;
    for (unsigned char c : line.substr(0, colon)) {
      if (c <= 0x20 || c == 0x7F) return false;
    }
    lines.push_back(line);
  }
  request.headers.reserve(request.headers.size() + lines.size());
  for (std::string_view line : lines) {
    const std::string_view name = line.substr(0, line.find(':'));
    if (!(modifiers & kReplaceHeader)) {
      request.headers.emplace_back(line);
      continue;
    }
    const bool removal = blank_value(line.substr(name.size() + 1));
    const auto same_name = [&](const std::string& held) {
      return equal_case_blind(std::string_view(held).substr(0, held.find(':')), name);
    };
    const auto held = std::find_if(request.headers.begin(), request.headers.end(), same_name);
    if (held == request.headers.end()) {
      if ((modifiers & kAddHeader) && !removal) request.headers.emplace_back(line);
    } else if (removal) {
      request.headers.erase(held);
    } else {
      *held = line;
    }
  }
  return true;
}

bool send_request(Request& request, const void* body, std::uint32_t length) {
  if (injected(testing::Role::send)) return false;
  if (request.sent) return false;
  request.sent = true;
  curl::ExchangeRequest exchange;
  exchange.method = request.method;
  exchange.secure = request.secure;
  exchange.host = request.host;
  exchange.port = request.port;
  exchange.target = request.target;
  exchange.header_lines = std::move(request.headers);
  if (body && length > 0) exchange.body.assign(static_cast<const char*>(body), length);
  exchange.proxy = request.session->proxy_for(request.secure);
  exchange.server_credentials = request.server_credentials;
  exchange.proxy_credentials = request.proxy_credentials;
  exchange.max_redirects = request.redirects_disabled ? 0 : 10;
  exchange.timeouts = request.timeouts;
  if (!request.cookies_disabled) {
    request.cookie_store = request.session->cookie_store();
    exchange.cookie_store = request.cookie_store.get();
  }
  return request.exchange.send(std::move(exchange));
}

bool receive_response(Request& request) {
  if (injected(testing::Role::receive)) return false;
  if (!request.sent || request.received) return false;
  request.received = request.exchange.receive();
  return request.received;
}

bool query_raw_headers(Request& request, void* buffer, std::uint32_t& size) {
  if (injected(testing::Role::query_headers)) return false;
  if (!request.received) {
    size = 0;
    return false;
  }
  if (!request.raw_headers) {
    request.raw_headers = utf16_of(request.exchange.raw_headers());
  }
  const std::u16string& units = *request.raw_headers;
  const std::size_t needed = (units.size() + 1) * 2;
  if (needed > std::numeric_limits<std::uint32_t>::max()) return false;
  if (!buffer || size < needed) {
    size = static_cast<std::uint32_t>(needed);
    return false;
  }
  auto* out = static_cast<unsigned char*>(buffer);
  for (std::size_t i = 0; i < units.size(); ++i) {
    out[2 * i] = static_cast<unsigned char>(units[i] & 0xFF);
    out[2 * i + 1] = static_cast<unsigned char>(units[i] >> 8);
  }
  out[needed - 2] = out[needed - 1] = 0;
  size = static_cast<std::uint32_t>(needed - 2);
  return true;
}

bool query_content_length(Request& request, std::uint64_t& length) {
  if (!request.received) return false;
  const std::string& headers = request.exchange.raw_headers();
  for (std::size_t at = headers.find("\r\n"); at != std::string::npos;) {
    const std::size_t start = at + 2;
    at = headers.find("\r\n", start);
    const std::string_view line =
        std::string_view(headers).substr(start, at == std::string::npos ? 0 : at - start);
    if (line.size() < 15 || !equal_case_blind(line.substr(0, 15), "content-length:")) continue;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (char c : line.substr(15)) {
      if (c == ' ' || c == '\t') {
        if (digits > 0) break;
        continue;
      }
      if (c < '0' || c > '9' || ++digits > 18) return false;
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (digits == 0) return false;
    length = value;
    return true;
  }
  return false;
}

bool query_data_available(Request& request, std::uint32_t& available) {
  if (injected(testing::Role::query_data_available)) return false;
  if (!request.received) return false;
  available = static_cast<std::uint32_t>(std::min<std::size_t>(
      request.exchange.data_available(), std::numeric_limits<std::uint32_t>::max()));
  return true;
}

bool read_data(Request& request, void* buffer, std::uint32_t size, std::uint32_t& read) {
  read = 0;
  if (injected(testing::Role::read)) return false;
  if (!request.received) return false;
  std::size_t got = 0;
  const bool ok = request.exchange.read(static_cast<char*>(buffer), size, got);
  read = static_cast<std::uint32_t>(got);
  return ok;
}

namespace testing {

void fail_call(Role role, int nth) {
  std::lock_guard lock(g_faults.mutex);
  g_faults.pending.push_back({role, nth});
}

void clear_failures() {
  std::lock_guard lock(g_faults.mutex);
  g_faults.pending.clear();
}

int open_handles() {
  return g_open_handles.load();
}

TimeoutsGiven last_timeouts() {
  std::lock_guard lock(g_timeouts_mutex);
  return g_last_timeouts;
}

}  // namespace testing

}  // namespace platform::winhttp
