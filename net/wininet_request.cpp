#include "net/wininet_request.h"

#include <cstdint>
#include <string>
#include <utility>

#include "net/cookies.h"
#include "net/url.h"
#include "net/verb.h"
#include "platform/wininet/wininet.h"

namespace wi = platform::wininet;

namespace {

constexpr const char* kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr int kChunk = 1024;

// The agent named in the caller's header block, else the default one.
Text user_agent(const Text& headers) {
  if (find_text(headers, "User-Agent:", 1, true) == -1) return kDefaultAgent;
  const Text agent = trim_text(text_between(concat_text(headers, "\r\n"), "User-Agent:", "\r\n"));
  return agent.empty() ? header_value(headers) : agent;
}

// The caller's block completed with the defaults, each appended with a leading CR LF. Each
// presence test searches the caller's lines and the URL of an appended Referer line instead of
// the whole block, and finds exactly the same: no key holds a CR or LF, so a match lies within
// one line; the caller's lines and the URL start on character boundaries; no default line
// holds a key tested after it; and no key starts with the end of "Referer: ".
Text header_block(const Text& headers, const Text& url, int method, const Text* cookies) {
  const auto in_caller_lines = [&](const char* key) { return find_text(headers, key) != -1; };
  std::string block = headers.bytes();
  if (block.empty()) {
    block = "Accept: */*";
  } else if (!in_caller_lines("Accept:")) {
    block.append("\r\nAccept: */*");
  }
  const bool referer = !in_caller_lines("Referer:");
  if (referer) block.append("\r\nReferer: ").append(url.view());
  const auto present = [&](const char* key) {
    return in_caller_lines(key) || (referer && find_text(url, key) != -1);
  };
  if (!present("Accept-Language:")) block.append("\r\nAccept-Language: zh-cn");
  if (method == 1 && !present("Content-Type:")) {
    block.append("\r\nContent-Type: application/x-www-form-urlencoded");
  }
  if (cookies && !cookies->empty()) {
    // The caller may pass a whole "Cookie: ..." line instead of a cookie string.
    block.append(find_text(*cookies, "Cookie:") != -1 ? "\r\n" : "\r\nCookie: ");
    block.append(cookies->view());
  }
  return Text(std::move(block));
}

// The raw headers at their full size, or the empty text when there are none. The size is asked
// for first and the buffer made to fit: a fixed buffer would cut large headers off and lose the
// cookies the response sets, while the call still looked successful.
Text raw_headers(wi::Request& request) {
  std::uint32_t size = 0;
  wi::query_raw_headers(request, nullptr, size);
  std::string buffer(size, '\0');
  if (size == 0 || !wi::query_raw_headers(request, buffer.data(), size)) return Text();
  buffer.resize(size);
  return Text(std::move(buffer));
}

}  // namespace

ByteSet wininet_request(const Text& url, const WinInetArgs& args) {
  const int method = args.verb < 0 || args.verb > 7 ? 0 : args.verb;
  const bool secure = lower_text(text_left(url, 8)) == Text("https://");
  static const Text kNoHeaders;
  // Read only before `headers` is written back.
  const Text& caller_headers = args.headers ? *args.headers : kNoHeaders;

  wi::SessionHandle session;
  if (args.proxy.empty()) {
    session = wi::open_session(user_agent(caller_headers).view(), wi::Access::direct);
  } else {
    const Text proxy_name = secure ? args.proxy : concat_text("http=", args.proxy);
    session = wi::open_session(user_agent(caller_headers).view(), wi::Access::proxy,
                               proxy_name.view(), "");
  }
  if (!session) return ByteSet();
  wi::ConnectionHandle connection = wi::connect(*session, url_host(url).view(), url_port(url));
  if (!connection) return ByteSet();

  std::uint32_t flags = wi::kFlagReload | wi::kFlagNeedFile;
  if (args.cookies) flags |= wi::kFlagNoCookies;
  if (args.no_redirect) flags |= wi::kFlagNoAutoRedirect;
  flags |= secure ? wi::kFlagSecure : wi::kFlagIgnoreRedirectToHttps;
  wi::RequestHandle request =
      wi::open_request(*connection, verb_name(method), url_path(url).view(), "HTTP/1.1", flags);
  if (!request) return ByteSet();

  const Text block = header_block(caller_headers, url, method, args.cookies);
  if (args.headers) *args.headers = block;

  ByteSet sent_body;
  if (method != 0) {
    sent_body = args.post_bytes ? *args.post_bytes : ByteSet();
    if (sent_body.empty()) {
      sent_body = text_to_bytes(args.post_text);
      if (args.post_bytes) *args.post_bytes = sent_body;
    }
  }
  // The outcome is not tested: after a failed send the reads and the query find nothing.
  wi::send_request(*request, block.view(), sent_body.view());

  // One reusable buffer; each chunk is appended to the body in place.
  ByteSet body;
  ByteSet chunk = blank_bytes(kChunk);
  for (;;) {
    std::uint32_t read = 0;
    wi::read_file(*request, chunk.storage().data(), kChunk, read);
    if (read == 0) break;
    body.storage().append(chunk.storage().data(), read);
  }

  Text headers = replace_text(raw_headers(*request), "Set-Cookie", "Set-Cookie");
  request.reset();
  connection.reset();
  session.reset();

  Text new_cookies = collect_set_cookies(headers);
  if (args.cookies && args.merge) new_cookies = merge_cookies(*args.cookies, new_cookies);
  if (args.response_headers) *args.response_headers = std::move(headers);
  if (args.new_cookies) *args.new_cookies = std::move(new_cookies);
  return body;
}
