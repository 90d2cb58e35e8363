#include "platform/wininet/wininet.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "platform/curl/cookie_store.h"
#include "platform/curl/exchange.h"
#include "platform/curl/proxy_list.h"

namespace platform::wininet {
namespace {

std::atomic<int> g_open_handles{0};

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
  for (auto& fault : g_faults.pending) {
    if (fault.role == role && fault.remaining > 0 && --fault.remaining == 0) return true;
  }
  return false;
}

// The process-wide cookie store. Each request holds the store it attached until it closes, so
// clearing swaps in a fresh store without pulling one from under a running exchange.
class SharedCookies {
 public:
  std::shared_ptr<curl::CookieStore> get() {
    std::lock_guard lock(mutex_);
    if (!store_) store_ = std::make_shared<curl::CookieStore>();
    return store_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    store_.reset();
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<curl::CookieStore> store_;
};

SharedCookies& shared_cookies() {
  static SharedCookies cookies;
  return cookies;
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_case_blind(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

// `text` split at any of `separators`, empty members dropped.
std::vector<std::string_view> members(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find_first_of(separators, at), text.size());
    if (end > at) out.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// '*' matches any run of characters; letter case is ignored. Greedy with one backtrack point,
// so linear in practice.
bool glob_match(std::string_view pattern, std::string_view text) {
  std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && lower(pattern[p]) == lower(text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Bytes that cannot stand on a request line go %-escaped; a fragment is dropped.
std::string request_target(std::string_view object_name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  object_name = object_name.substr(0, object_name.find('#'));
  std::string target;
  target.reserve(object_name.size());
  for (const char c : object_name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      target.push_back('%');
      target.push_back(kHex[byte >> 4]);
      target.push_back(kHex[byte & 0xF]);
    } else {
      target.push_back(c);
    }
  }
  if (target.empty() || target.front() != '/') target.insert(0, 1, '/');
  return target;
}

// The lines of a header block, or false for a block that cannot go on the wire as it is.
bool header_lines(std::string_view block, std::vector<std::string>& lines) {
  // CP936 trail bytes are never CR or LF, so the block splits safely as bytes.
  for (std::size_t at = 0; at < block.size();) {
    const std::size_t end = std::min(block.find("\r\n", at), block.size());
    const std::string_view line = block.substr(at, end - at);
    at = end + 2;
    if (line.empty()) continue;
    if (line.find_first_of("\r\n") != std::string_view::npos) return false;
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return false;
    for (const char c : line.substr(0, colon)) {
      if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    }
    lines.emplace_back(line);
  }
  return true;
}

bool names_header(std::string_view line, std::string_view name) {
  return equal_case_blind(line.substr(0, line.find(':')), name);
}

}  // namespace

struct Session {
  std::string agent;
  std::vector<curl::ProxyEntry> proxies;
  std::vector<std::string> bypass;
};

struct Connection {
  // The session's settings as they were at connect; the session may close first.
  Session session;
  std::string host;
  int port = 0;
};

struct Request {
  curl::ExchangeRequest exchange_request;
  std::string agent;
  std::uint32_t flags = 0;
  // Declared before the exchange that may use it, so that it ends last.
  std::shared_ptr<curl::CookieStore> cookie_store;
  curl::Exchange exchange;
  bool sent = false;
  bool received = false;
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

SessionHandle open_session(std::string_view agent, Access access, std::string_view proxy_name,
                           std::string_view bypass) {
  if (injected(testing::Role::open_session)) return nullptr;
  auto session = std::make_unique<Session>();
  session->agent = agent.substr(0, agent.find_first_of("\r\n"));
  if (access == Access::proxy) {
    session->proxies = curl::parse_proxy_list(proxy_name);
    if (session->proxies.empty()) return nullptr;
    for (std::string_view entry : members(bypass, ";, \t")) session->bypass.emplace_back(entry);
  }
  ++g_open_handles;
  return SessionHandle(session.release());
}

ConnectionHandle connect(Session& session, std::string_view host, int port) {
  if (injected(testing::Role::connect)) return nullptr;
  // Anything that would make the host more than a host in a URL (user information, a path, a
  // blank) is refused.
  const auto foreign = [](char c) {
    return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F ||
           std::string_view("/?#@\\").find(c) != std::string_view::npos;
  };
  if (host.empty() || std::any_of(host.begin(), host.end(), foreign) || port < 0 || port > 65535) {
    return nullptr;
  }
  ++g_open_handles;
  return ConnectionHandle(new Connection{session, std::string(host), port});
}

RequestHandle open_request(Connection& connection, std::string_view method,
                           std::string_view object_name, std::string_view version,
                           std::uint32_t flags) {
  if (injected(testing::Role::open_request)) return nullptr;
  if (!version.empty() && version != "HTTP/1.1") return nullptr;
  if (std::any_of(method.begin(), method.end(), [](char c) { return c < '!' || c > '~'; })) {
    return nullptr;
  }
  const Session& session = connection.session;
  const bool secure = (flags & kFlagSecure) != 0;
  auto request = std::make_unique<Request>();
  curl::ExchangeRequest& r = request->exchange_request;
  r.method = method.empty() ? "GET" : std::string(method);
  r.secure = secure;
  r.host = connection.host;
  r.port = connection.port != 0 ? connection.port : secure ? 443 : 80;
  r.target = request_target(object_name);

  const bool bypassed =
      std::any_of(session.bypass.begin(), session.bypass.end(), [&](const std::string& pattern) {
        if (pattern == "<local>") return connection.host.find('.') == std::string::npos;
        return glob_match(pattern, connection.host);
      });
  if (!bypassed) r.proxy = curl::proxy_for(session.proxies, secure ? "https" : "http");

  r.max_redirects = flags & kFlagNoAutoRedirect ? 0 : 10;
  r.redirect_schemes = secure                               ? "https"
                       : flags & kFlagIgnoreRedirectToHttps ? "http,https"
                                                            : "http";
  r.timeouts = {0, 60000, 30000, 30000};
  request->agent = session.agent;
  request->flags = flags;
  ++g_open_handles;
  return RequestHandle(request.release());
}

bool send_request(Request& request, std::string_view headers, std::string_view body) {
  if (injected(testing::Role::send)) return false;
  if (request.sent) return false;
  std::vector<std::string> lines;
  if (!header_lines(headers, lines)) return false;
  request.sent = true;
  curl::ExchangeRequest exchange = std::move(request.exchange_request);
  exchange.header_lines = std::move(lines);
  const auto own_agent = [](const std::string& line) { return names_header(line, "User-Agent"); };
  if (!request.agent.empty() &&
      std::none_of(exchange.header_lines.begin(), exchange.header_lines.end(), own_agent)) {
    exchange.header_lines.push_back("User-Agent: " + request.agent);
  }
  exchange.body.assign(body);
  if (!(request.flags & kFlagNoCookies)) {
    request.cookie_store = shared_cookies().get();
    exchange.cookie_store = request.cookie_store.get();
  }
  request.received = request.exchange.send(std::move(exchange)) && request.exchange.receive();
  return request.received;
}

bool read_file(Request& request, void* buffer, std::uint32_t size, std::uint32_t& read) {
  read = 0;
  if (injected(testing::Role::read)) return false;
  if (!request.received) return false;
  auto* out = static_cast<char*>(buffer);
  while (read < size) {
    std::size_t got = 0;
    if (!request.exchange.read(out + read, size - read, got)) return read > 0;
    if (got == 0) break;
    read += static_cast<std::uint32_t>(got);
  }
  return true;
}

bool query_raw_headers(Request& request, char* buffer, std::uint32_t& size) {
  if (injected(testing::Role::query_headers)) return false;
  if (!request.received) {
    size = 0;
    return false;
  }
  const std::string& headers = request.exchange.raw_headers();
  const std::size_t needed = headers.size() + 1;
  if (needed > std::numeric_limits<std::uint32_t>::max()) return false;
  if (!buffer || size < needed) {
    size = static_cast<std::uint32_t>(needed);
    return false;
  }
  std::copy(headers.begin(), headers.end(), buffer);
  buffer[headers.size()] = '\0';
  size = static_cast<std::uint32_t>(headers.size());
  return true;
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

void clear_cookie_store() {
  shared_cookies().clear();
}

}  // namespace testing

}  // namespace platform::wininet
