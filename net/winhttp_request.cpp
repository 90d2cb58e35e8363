#include "net/winhttp_request.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <iterator>
#include <new>
#include <string_view>

#include "base/literal.h"
#include "net/utf16.h"
#include "net/verb.h"
#include "net/winhttp_response.h"
#include "platform/events/events.h"
#include "platform/winhttp/winhttp.h"

namespace wh = platform::winhttp;

namespace {

// The default request headers, in the order they are tested and appended.
struct DefaultHeader {
  const char* key;  // searched anywhere in the block
  bool case_blind;
  const char* line;  // appended when the key is not found
};
constexpr DefaultHeader kUserAgent{
    "User-Agent: ", true,
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"};
constexpr DefaultHeader kAccept{"Accept: ", true,
                                "Accept: text/html, application/xhtml+xml, */*\r\n"};
constexpr DefaultHeader kAcceptEncoding{"Accept-Encoding: ", true,
                                        "Accept-Encoding: gbk, GB2312\r\n"};
constexpr DefaultHeader kAcceptLanguage{"Accept-Language: ", true, "Accept-Language: zh-cn\r\n"};
constexpr DefaultHeader kContentType{"Content-Type:", false,
                                     "Content-Type: application/x-www-form-urlencoded\r\n"};
constexpr DefaultHeader kCacheControl{"Cache-Control: ", true, "Cache-Control: no-cache\r\n"};
constexpr DefaultHeader kCookie{"Cookie: ", true, nullptr};
constexpr DefaultHeader kRows[] = {kUserAgent,   kAccept,       kAcceptEncoding, kAcceptLanguage,
                                   kContentType, kCacheControl, kCookie};

// The search of the whole block for a key finds exactly what a search of the caller's lines
// finds: a key holds no CR or LF, so no match spans the CR LF after the caller's lines, each
// default line starts on a character boundary, and no default line holds the key of a row
// tested after it (checked below).
constexpr char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}
constexpr bool holds(std::string_view line, std::string_view key, bool case_blind) {
  for (std::size_t at = 0; at + key.size() <= line.size(); ++at) {
    bool equal = true;
    for (std::size_t k = 0; k < key.size() && equal; ++k) {
      const char a = line[at + k], b = key[k];
      equal = case_blind ? ascii_lower(a) == ascii_lower(b) : a == b;
    }
    if (equal) return true;
  }
  return false;
}
constexpr bool no_line_holds_a_later_key() {
  for (std::size_t row = 0; row < std::size(kRows); ++row) {
    for (std::size_t later = row + 1; later < std::size(kRows); ++later) {
      if (kRows[row].line && holds(kRows[row].line, kRows[later].key, kRows[later].case_blind)) {
        return false;
      }
    }
  }
  return true;
}
static_assert(no_line_holds_a_later_key());

bool caller_has(const Text& headers, const DefaultHeader& row) {
  return !headers.empty() && find_text(headers, row.key, 1, row.case_blind) != -1;
}

void append_unless_present(std::string& block, const Text& headers, const DefaultHeader& row) {
  if (!caller_has(headers, row)) block.append(row.line);
}

Text header_block(const WinHttpArgs& args) {
  std::string block;
  if (!args.headers.empty()) block.append(args.headers.bytes()).append("\r\n");
  append_unless_present(block, args.headers, kUserAgent);
  append_unless_present(block, args.headers, kAccept);
  append_unless_present(block, args.headers, kAcceptEncoding);
  append_unless_present(block, args.headers, kAcceptLanguage);
  if (args.verb == 1) append_unless_present(block, args.headers, kContentType);
  append_unless_present(block, args.headers, kCacheControl);
  if (args.cookies && !args.cookies->empty() && !caller_has(args.headers, kCookie)) {
    block.append("Cookie: ").append(args.cookies->bytes()).append("\r\n");
  }
  return Text(std::move(block));
}

// The method's name as UTF-16, converted once per verb.
const ByteSet& method_name(int verb) {
  static const std::array<ByteSet, 8> kNames = [] {
    std::array<ByteSet, 8> names;
    for (int i = 0; i < 8; ++i) names[i] = to_utf16_bytes(verb_name(i));
    return names;
  }();
  return kNames[verb >= 0 && verb <= 7 ? verb : 0];
}

// How the steps ended: with the result, with a failure that still unwinds through the
// dispatch points, or with one of the early returns that skip them.
enum class Ending { done, failed, early_return };

struct Call {
  explicit Call(const WinHttpArgs& a) : args(a) {}

  const WinHttpArgs& args;
  wh::SessionHandle session;
  wh::ConnectionHandle connection;
  wh::RequestHandle request;
  int stages = 0;  // stages reached whose dispatch runs as the call unwinds
  const Text* failure = nullptr;
  Text result;

  Ending fail(const Text& message) {
    failure = &message;
    return Ending::failed;
  }
  Ending refuse(const Text& message) {
    failure = &message;
    return Ending::early_return;
  }

  Ending run(const Text& url);
  void read_body(ByteSet& body);
};

Ending Call::run(const Text& url) {
  // Parse.
  ++stages;
  const ByteSet wide_url = to_utf16_bytes(url);
  wh::UrlComponents parts;
  if (!wh::crack_url(wide_url.view(), bytes_length(wide_url) / 2 - 1, parts)) {
    return fail(ZH("701 解析URL地址失败!"));
  }
  // The host's code units go on as they are: they came from CP936 text, so a round trip
  // through Text would give them back unchanged.
  const ByteSet host =
      concat_bytes(bytes_at_address(parts.host, 2 * parts.host_length), blank_bytes(2));
  const ByteSet path =
      parts.url_path_length < 1
          ? to_utf16_bytes("/")
          : concat_bytes(bytes_at_address(parts.url_path, 2 * parts.url_path_length),
                         bytes_at_address(parts.extra_info, 2 * parts.extra_info_length),
                         blank_bytes(2));
  const bool secure = parts.scheme_number == wh::kSchemeHttps;

  // Proxy and session.
  const bool proxied = !args.proxy.empty();
  const ByteSet proxy_name = to_utf16_bytes(!proxied ? Text()
                                            : secure ? args.proxy
                                                     : concat_text("http=", args.proxy));
  ++stages;
  session =
      wh::open_session(proxied ? wh::Access::named_proxy : wh::Access::no_proxy, proxy_name.view());
  if (!session) return fail(ZH("702 创建WinHttp会话失败!"));

  ++stages;
  connection = wh::connect(*session, host.view(), parts.port);
  if (!connection) return fail(ZH("703 创建WinHttp连接失败!"));

  ++stages;
  request = wh::open_request(*connection, method_name(args.verb).view(), path.view(), secure);
  if (!request) return fail(ZH("704 创建WinHttp请求失败!"));

  // Seconds to milliseconds, held within the int range (a larger limit is the same as none).
  ++stages;
  const int ms = args.timeout > 0
                     ? static_cast<int>(std::min<long long>(args.timeout * 1000LL, INT_MAX))
                     : 30000;
  if (!wh::set_timeouts(*request, ms, ms, ms, ms)) return fail(ZH("705 设置超时时间失败!"));

  if (!args.server_user.empty() && !args.server_password.empty() &&
      !wh::set_basic_credentials(*request, wh::AuthTarget::server,
                                 to_utf16_bytes(args.server_user).view(),
                                 to_utf16_bytes(args.server_password).view())) {
    return refuse(ZH("706 设置服务器凭证失败!"));
  }
  if (!args.proxy_user.empty() && !args.proxy_password.empty() &&
      !wh::set_basic_credentials(*request, wh::AuthTarget::proxy,
                                 to_utf16_bytes(args.proxy_user).view(),
                                 to_utf16_bytes(args.proxy_password).view())) {
    return refuse(ZH("707 设置代理凭证失败!"));
  }
  // The library's own cookies are off whether or not the caller supplied a cookie string:
  // the caller's string is then the only cookie state, as in the WinINet request.
  if (!wh::disable_feature(*request, wh::kDisableCookies)) {
    return refuse(ZH("708 禁止自动设置Cookies失败!"));
  }
  if (args.no_redirect && !wh::disable_feature(*request, wh::kDisableRedirects)) {
    return refuse(ZH("709 重定向设置失败!"));
  }

  ++stages;
  const ByteSet wide_block = to_utf16_bytes(header_block(args));
  if (!wh::add_request_headers(*request, wide_block.view(), bytes_length(wide_block) / 2 - 1,
                               wh::kAddHeader | wh::kReplaceHeader)) {
    return fail(ZH("710 设置协议头失败!"));
  }

  ++stages;
  const ByteSet body_out = text_to_bytes(args.post_text);
  if (!wh::send_request(*request, body_out.data_or_null(),
                        static_cast<std::uint32_t>(bytes_length(body_out)))) {
    return fail(ZH("711 发送请求失败!"));
  }

  ++stages;
  if (!wh::receive_response(*request)) return fail(ZH("712 服务器未响应!"));

  ByteSet body;
  read_body(body);
  // The header query's dispatch is the last one of the response handling.
  result = handle_winhttp_response(*request, std::move(body), args);
  return Ending::done;
}

// Appends every piece in place: the buffer for a piece is the body's own tail.
void Call::read_body(ByteSet& body) {
  std::string& bytes = body.storage();
  // Room for the announced length up front saves copying a large body as it grows; a mere
  // hint, bounded, and without it the body grows all the same.
  constexpr std::uint64_t kMostReserved = 256u << 20;
  if (std::uint64_t announced = 0; wh::query_content_length(*request, announced)) {
    try {
      bytes.reserve(static_cast<std::size_t>(std::min(announced, kMostReserved)));
    } catch (const std::bad_alloc&) {
    }
  }
  for (;;) {
    std::uint32_t available = 0;
    if (!wh::query_data_available(*request, available) || available < 1) return;
    const std::size_t old_size = bytes.size();
    bytes.resize(old_size + available);
    std::uint32_t read = 0;
    const bool ok = wh::read_data(*request, bytes.data() + old_size, available, read);
    bytes.resize(old_size + (ok ? read : 0));
    if (!ok) {
      if (args.status_text) *args.status_text = ZH("713 读取数据失败!");
      return;
    }
  }
}

}  // namespace

Text winhttp_request(const Text& url, const WinHttpArgs& args) {
  if (!wh::check_platform()) {
    if (args.status_text) *args.status_text = ZH("700 当前系统不支持WinHttp服务!");
    return Text();
  }
  Call call(args);
  const Ending ending = call.run(url);
  call.request.reset();
  call.connection.reset();
  call.session.reset();
  if (call.failure && args.status_text) *args.status_text = *call.failure;
  if (ending == Ending::early_return) return Text();
  for (int i = 0; i < call.stages; ++i) platform::process_events();
  return ending == Ending::done ? std::move(call.result) : Text();
}
