#include "platform/curl/exchange.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/curl/cookie_store_impl.h"
#include "platform/curl/handles.h"

namespace platform::curl {

void ensure_global_init() {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)initialised;
}

namespace {

using Clock = std::chrono::steady_clock;

bool starts_with_case_blind(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(text[i]) != lower(prefix[i])) return false;
  }
  return true;
}

bool blank(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

Clock::time_point after(Clock::time_point from, int ms) {
  return ms > 0 ? from + std::chrono::milliseconds(ms) : Clock::time_point::max();
}

// Multi handles are reused on their thread: making one (its connection cache's own easy handle,
// its wake-up socket pair) costs more than a small exchange. An exchange takes one that no
// other exchange is driving, so that a nested exchange (one started from a dispatch while
// another is open on the thread) never drives or reads the messages of the outer one, and
// gives it back when it ends. A reused handle carries nothing from one exchange to the next:
// no connection is kept after a transfer and no name is cached (see configure).
class IdleMultis {
 public:
  ~IdleMultis() { gone_ = true; }

  static MultiHandle take() {
    if (!gone_) {
      std::vector<MultiHandle>& idle = instance().handles_;
      if (!idle.empty()) {
        MultiHandle multi = std::move(idle.back());
        idle.pop_back();
        return multi;
      }
    }
    return MultiHandle(curl_multi_init());
  }

  // Past the few a thread needs at once, or once the thread's pool is gone, the handle ends.
  static void give_back(MultiHandle multi) {
    if (gone_ || !multi) return;
    std::vector<MultiHandle>& idle = instance().handles_;
    if (idle.size() < kKept) idle.push_back(std::move(multi));
  }

 private:
  static constexpr std::size_t kKept = 4;

  static IdleMultis& instance() {
    thread_local IdleMultis pool;
    return pool;
  }

  static thread_local bool gone_;
  std::vector<MultiHandle> handles_;
};

thread_local bool IdleMultis::gone_ = false;

// Headers libcurl would add of its own; an entry "Name:" without a value keeps them off the
// wire (and sends nothing itself).
constexpr const char* kSuppressed[] = {
    "Accept:", "Expect:", "Content-Type:", "Pragma:", "Proxy-Connection:"};

}  // namespace

struct Exchange::State {
  enum class Phase { sending, receiving };

  explicit State(ExchangeRequest r) : request(std::move(r)) {}
  ~State() {
    // A multi that still holds the easy handle is not given back.
    if (in_multi && curl_multi_remove_handle(multi.get(), easy.get()) != CURLM_OK) return;
    easy.reset();
    IdleMultis::give_back(std::move(multi));
  }

  ExchangeRequest request;
  // The lists outlive the easy handle that points to them.
  HeaderList headers;
  HeaderList proxy_headers;
  MultiHandle multi;
  EasyHandle easy;
  bool in_multi = false;

  Phase phase = Phase::sending;
  Clock::time_point started;
  Clock::time_point resolved_at;
  Clock::time_point last_activity;  // the last byte moved, or the start of the current call
  bool resolved = false;            // a socket was opened
  bool connected = false;           // the connection (and TLS) is up
  bool sent = false;                // the whole request was handed over
  std::size_t upload_offset = 0;
  bool finished = false;
  CURLcode result = CURLE_OK;

  std::string current;  // header lines of the response being received
  long current_code = 0;
  bool current_location = false;
  std::string final_headers;
  bool headers_complete = false;
  std::string body;  // received and not yet read; bytes from `consumed` on
  std::size_t consumed = 0;

  std::size_t pending() const { return body.size() - consumed; }

  bool configure();
  template <typename Goal>
  bool drive(Goal reached);
  Clock::time_point deadline() const;
  void abort(CURLcode code);
  void end_of_headers();

  static size_t on_header(char* data, size_t size, size_t count, void* user);
  static size_t on_body(char* data, size_t size, size_t count, void* user);
  static size_t on_upload(char* out, size_t size, size_t count, void* user);
  static int on_seek(void* user, curl_off_t offset, int origin);
  static int on_socket(void* user, curl_socket_t, curlsocktype);
  static int on_prereq(void* user, char*, char*, int, int);
};

bool Exchange::State::configure() {
  CURL* e = easy.get();
  const ExchangeRequest& r = request;
  // The URL carries the path and query as given: no dot segment is removed and no escape is
  // touched; through a proxy libcurl turns it into the absolute URL, and redirects resolve
  // against it.
  std::string url = r.secure ? "https://" : "http://";
  url.reserve(url.size() + r.host.size() + r.target.size() + 16);
  // An IPv6 address stands in brackets.
  const bool bracket = r.host.find(':') != std::string::npos && r.host.front() != '[';
  if (bracket) url.push_back('[');
  url.append(r.host);
  if (bracket) url.push_back(']');
  url.append(":").append(std::to_string(r.port));
  if (r.target.empty() || r.target.front() != '/') url.push_back('/');
  url.append(r.target);

  bool ok = true;
  const auto set = [&](CURLoption option, auto value) {
    ok = ok && curl_easy_setopt(e, option, value) == CURLE_OK;
  };
  set(CURLOPT_URL, url.c_str());
  set(CURLOPT_PATH_AS_IS, 1L);
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, r.redirect_schemes.c_str());
  set(CURLOPT_HTTP_VERSION, long{CURL_HTTP_VERSION_1_1});
  set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
  set(CURLOPT_NOSIGNAL, 1L);
  // An aborted name lookup must not block the caller until the resolver thread ends.
  set(CURLOPT_QUICK_EXIT, 1L);
  // An empty proxy and no-proxy list also keep the environment's proxy settings out.
  const std::string proxy = r.proxy.empty() ? std::string() : "http://" + r.proxy;
  set(CURLOPT_PROXY, proxy.c_str());
  set(CURLOPT_NOPROXY, "");
  set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  // The multi handle is reused (see IdleMultis): no connection outlives its transfer, and no
  // name lookup is kept for a later one.
  set(CURLOPT_FORBID_REUSE, 1L);
  set(CURLOPT_FRESH_CONNECT, 1L);
  set(CURLOPT_DNS_CACHE_TIMEOUT, 0L);
  set(CURLOPT_FOLLOWLOCATION, r.max_redirects > 0 ? 1L : 0L);
  set(CURLOPT_MAXREDIRS, long{std::max(r.max_redirects, 0)});

  for (const std::string& line : r.header_lines) {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && blank(std::string_view(line).substr(colon + 1))) {
      // libcurl reads "Name:" as a removal; "Name;" sends the header with an empty value.
      ok = ok && headers.append((line.substr(0, colon) + ";").c_str());
    } else {
      ok = ok && headers.append(line.c_str());
    }
  }
  for (const char* entry : kSuppressed) ok = ok && headers.append(entry);
  ok = ok && proxy_headers.append("Proxy-Connection:");
  set(CURLOPT_HTTPHEADER, headers.get());
  set(CURLOPT_PROXYHEADER, proxy_headers.get());

  // GET, POST and HEAD go by libcurl's own methods, so a redirect that turns a POST into a GET
  // turns the method too; the others are named.
  const bool has_body = !r.body.empty();
  if (r.method == "HEAD") set(CURLOPT_NOBODY, 1L);
  if (has_body) {
    set(CURLOPT_POST, 1L);
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
    set(CURLOPT_READFUNCTION, &State::on_upload);
    set(CURLOPT_READDATA, this);
    set(CURLOPT_SEEKFUNCTION, &State::on_seek);
    set(CURLOPT_SEEKDATA, this);
    if (r.method != "POST") set(CURLOPT_CUSTOMREQUEST, r.method.c_str());
  } else if (r.method != "GET" && r.method != "HEAD") {
    set(CURLOPT_CUSTOMREQUEST, r.method.c_str());
  }

  if (r.server_credentials) {
    set(CURLOPT_HTTPAUTH, long{CURLAUTH_BASIC});
    set(CURLOPT_USERNAME, r.server_credentials->user.c_str());
    set(CURLOPT_PASSWORD, r.server_credentials->password.c_str());
  }
  if (r.proxy_credentials) {
    set(CURLOPT_PROXYAUTH, long{CURLAUTH_BASIC});
    set(CURLOPT_PROXYUSERNAME, r.proxy_credentials->user.c_str());
    set(CURLOPT_PROXYPASSWORD, r.proxy_credentials->password.c_str());
  }
  if (r.cookie_store && r.cookie_store->valid()) {
    set(CURLOPT_SHARE, r.cookie_store->impl().share.get());
    set(CURLOPT_COOKIEFILE, "");  // the cookie engine on, reading no file
  }

  set(CURLOPT_HEADERFUNCTION, &State::on_header);
  set(CURLOPT_HEADERDATA, this);
  set(CURLOPT_WRITEFUNCTION, &State::on_body);
  set(CURLOPT_WRITEDATA, this);
  set(CURLOPT_SOCKOPTFUNCTION, &State::on_socket);
  set(CURLOPT_SOCKOPTDATA, this);
  set(CURLOPT_PREREQFUNCTION, &State::on_prereq);
  set(CURLOPT_PREREQDATA, this);
  return ok;
}

Clock::time_point Exchange::State::deadline() const {
  const Timeouts& t = request.timeouts;
  if (phase == Phase::receiving) return after(last_activity, t.receive_ms);
  if (!resolved) return after(started, t.resolve_ms);
  if (!connected) return after(resolved_at, t.connect_ms);
  return after(last_activity, t.send_ms);
}

void Exchange::State::abort(CURLcode code) {
  if (in_multi) curl_multi_remove_handle(multi.get(), easy.get());
  in_multi = false;
  finished = true;
  result = code;
}

// Lets libcurl work and waits for its sockets until `reached()`, the end of the transfer, or
// the current limit. True when `reached()`.
template <typename Goal>
bool Exchange::State::drive(Goal reached) {
  for (;;) {
    int running = 0;
    curl_multi_perform(multi.get(), &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy.get()) {
        finished = true;
        result = message->data.result;
      }
    }
    if (reached()) return true;
    if (finished) return false;
    const Clock::time_point limit = deadline();
    const Clock::time_point now = Clock::now();
    if (now >= limit) {
      abort(CURLE_OPERATION_TIMEDOUT);
      return false;
    }
    int wait_ms = 1000;
    if (limit != Clock::time_point::max()) {
      const auto left_ms = std::chrono::ceil<std::chrono::milliseconds>(limit - now).count();
      wait_ms = static_cast<int>(std::clamp<long long>(left_ms, 1, 1000));
    }
    // A socket event is a byte moved (or the end, which the next round handles), even when it
    // completes no header line and reaches no callback.
    int ready = 0;
    curl_multi_poll(multi.get(), nullptr, 0, wait_ms, &ready);
    if (ready > 0) last_activity = Clock::now();
  }
}

void Exchange::State::end_of_headers() {
  const bool interim = current_code >= 100 && current_code < 200;
  // libcurl follows exactly these (or fails with too many redirects).
  const bool followed =
      request.max_redirects > 0 && current_code >= 300 && current_code < 400 && current_location;
  if (interim || followed) {
    current.clear();
    return;
  }
  current.append("\r\n");
  final_headers = std::move(current);
  headers_complete = true;
}

size_t Exchange::State::on_header(char* data, size_t size, size_t count, void* user) {
  auto& s = *static_cast<State*>(user);
  const size_t n = size * count;
  s.last_activity = Clock::now();
  if (s.headers_complete) return n;  // trailers of a chunked body
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.empty()) {
    s.end_of_headers();
    return n;
  }
  if (line.substr(0, 5) == "HTTP/") {
    s.current.clear();
    s.current_location = false;
    const std::size_t blank_at = line.find(' ');
    s.current_code = blank_at == std::string_view::npos
                         ? 0
                         : std::atol(std::string(line.substr(blank_at + 1, 3)).c_str());
  } else if (starts_with_case_blind(line, "Location:") && !blank(line.substr(9))) {
    s.current_location = true;
  }
  s.current.append(line).append("\r\n");
  return n;
}

size_t Exchange::State::on_body(char* data, size_t size, size_t count, void* user) {
  auto& s = *static_cast<State*>(user);
  const size_t n = size * count;
  s.last_activity = Clock::now();
  s.body.append(data, n);
  return n;
}

size_t Exchange::State::on_upload(char* out, size_t size, size_t count, void* user) {
  auto& s = *static_cast<State*>(user);
  const std::string& body = s.request.body;
  const size_t n = std::min(size * count, body.size() - s.upload_offset);
  std::memcpy(out, body.data() + s.upload_offset, n);
  s.upload_offset += n;
  s.last_activity = Clock::now();
  if (s.connected && s.upload_offset == body.size()) s.sent = true;
  return n;
}

int Exchange::State::on_seek(void* user, curl_off_t offset, int origin) {
  auto& s = *static_cast<State*>(user);
  if (origin != SEEK_SET || offset < 0 || static_cast<size_t>(offset) > s.request.body.size()) {
    return CURL_SEEKFUNC_CANTSEEK;
  }
  s.upload_offset = static_cast<size_t>(offset);
  return CURL_SEEKFUNC_OK;
}

int Exchange::State::on_socket(void* user, curl_socket_t, curlsocktype) {
  auto& s = *static_cast<State*>(user);
  if (!s.resolved) {
    s.resolved = true;
    s.resolved_at = Clock::now();
  }
  return CURL_SOCKOPT_OK;
}

int Exchange::State::on_prereq(void* user, char*, char*, int, int) {
  auto& s = *static_cast<State*>(user);
  s.connected = true;
  s.last_activity = Clock::now();
  if (s.request.body.empty()) s.sent = true;
  return CURL_PREREQFUNC_OK;
}

Exchange::Exchange() = default;
Exchange::~Exchange() = default;
Exchange::Exchange(Exchange&&) noexcept = default;
Exchange& Exchange::operator=(Exchange&&) noexcept = default;

bool Exchange::send(ExchangeRequest request) {
  if (state_) return false;
  ensure_global_init();
  state_ = std::make_unique<State>(std::move(request));
  State& s = *state_;
  s.multi = IdleMultis::take();
  s.easy = EasyHandle(curl_easy_init());
  if (!s.multi || !s.easy || !s.configure() ||
      curl_multi_add_handle(s.multi.get(), s.easy.get()) != CURLM_OK) {
    s.abort(CURLE_FAILED_INIT);
    return false;
  }
  s.in_multi = true;
  s.started = s.last_activity = Clock::now();
  s.drive([&] { return s.sent; });
  // A transfer that fails once the request is out (the server hangs up at once) fails later.
  return s.sent;
}

bool Exchange::receive() {
  if (!state_ || !state_->sent) return false;
  State& s = *state_;
  if (s.headers_complete) return true;
  s.phase = State::Phase::receiving;
  s.last_activity = Clock::now();
  return s.drive([&] { return s.headers_complete; });
}

const std::string& Exchange::raw_headers() const {
  static const std::string none;
  return state_ && state_->headers_complete ? state_->final_headers : none;
}

std::size_t Exchange::data_available() {
  if (!state_ || !state_->headers_complete) return 0;
  State& s = *state_;
  if (s.pending() == 0 && !s.finished) {
    s.phase = State::Phase::receiving;
    s.last_activity = Clock::now();
    s.drive([&] { return s.pending() > 0; });
  }
  if (s.pending() > 0) return s.pending();
  return s.result == CURLE_OK ? 0 : 1;
}

bool Exchange::read(char* out, std::size_t size, std::size_t& got) {
  got = 0;
  if (!state_ || !state_->headers_complete) return false;
  State& s = *state_;
  if (size == 0) return true;
  if (data_available() == 0) return true;
  if (s.pending() == 0) return false;  // the failure after the headers
  got = std::min(size, s.pending());
  std::memcpy(out, s.body.data() + s.consumed, got);
  s.consumed += got;
  if (s.consumed == s.body.size()) {
    s.body.clear();
    s.consumed = 0;
  }
  return true;
}

std::string Exchange::failure() const {
  if (!state_ || state_->result == CURLE_OK) return {};
  return curl_easy_strerror(state_->result);
}

}  // namespace platform::curl
