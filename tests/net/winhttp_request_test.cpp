// winhttp_request on the wire and on its failure paths, against scripted loopback servers.
#include <chrono>
#include <string>
#include <vector>

#include "tests/net/winhttp_test_support.h"
#include "tests/support/tls_server.h"

namespace {

using namespace test_support;
using Clock = std::chrono::steady_clock;
namespace wh = platform::winhttp;

std::string base64(std::string_view in) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < in.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, in.size() - i);
    unsigned v = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      v = v << 8 | (k < n ? static_cast<unsigned char>(in[i + k]) : 0);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out.push_back(k <= n ? kDigits[(v >> (18 - 6 * k)) & 63] : '=');
    }
  }
  return out;
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST_F(WinHttpTest, LoginUrlAloneSendsTheDefaultBlockAndReturnsTheBody) {
  ScriptedServer server({{send(reply("200 OK", "ok|token"))}});
  Text status;
  const Text body =
      winhttp_request(Text(server.url("/lg.jsp?uid=u&pwd=p")), {.status_text = &status});

  EXPECT_EQ(body, Text("ok|token"));
  EXPECT_EQ(status, Text("200 OK"));
  ASSERT_TRUE(server.wait_for_requests(1));
  const RecordedRequest request = server.requests().at(0);
  EXPECT_EQ(request.request_line, "GET /lg.jsp?uid=u&pwd=p HTTP/1.1");
  EXPECT_EQ(request.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(request.headers_without("Host"), kDefaultBlock);
  EXPECT_EQ(request.body, "");
  // "HTTP/1.1 200 OK", "Content-Length: 8", "".
  EXPECT_EQ(dispatches_, complete_dispatches(3));
}

// The request line and the header block (Host aside) for the arguments of each row.
TEST_F(WinHttpTest, RequestLineHeaderBlockAndBody) {
  Text cookies_a1("a=1");
  Text cookies_empty("");
  struct Row {
    const char* name;
    std::string path;  // after "http://127.0.0.1:<port>"
    WinHttpArgs args;
    std::string request_line;
    std::string block;
    std::string body;
  };
  const std::string ct = "Content-Type: application/x-www-form-urlencoded\r\n";
  const std::string ua =
      "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n";
  const std::string middle =
      "Accept: text/html, application/xhtml+xml, */*\r\nAccept-Encoding: gbk, GB2312\r\n"
      "Accept-Language: zh-cn\r\n";
  const std::string cc = "Cache-Control: no-cache\r\n";
  const Row rows[] = {
      {"no path requests /", "", {}, "GET / HTTP/1.1", kDefaultBlock, ""},
      {"a query without a path requests / alone", "?x=1", {}, "GET / HTTP/1.1", kDefaultBlock, ""},
      {"path and query as given, no fragment",
       "/a/../b.jsp?x=1&y=%41#top",
       {},
       "GET /a/../b.jsp?x=1&y=%41 HTTP/1.1",
       kDefaultBlock,
       ""},
      {"blanks and Chinese go %-escaped as UTF-8",
       "/q?uid=a b&n=" + ZH("账号").bytes(),
       {},
       "GET /q?uid=a%20b&n=%E8%B4%A6%E5%8F%B7 HTTP/1.1",
       kDefaultBlock,
       ""},
      {"POST gets the Content-Type line",
       "/p",
       {.verb = 1},
       "POST /p HTTP/1.1",
       ua + middle + ct + cc,
       ""},
      {"POST with a body",
       "/p",
       {.verb = 1, .post_text = "a=1&b=2"},
       "POST /p HTTP/1.1",
       ua + middle + ct + cc + "Content-Length: 7\r\n",
       "a=1&b=2"},
      {"Content-Type given suppresses the default",
       "/p",
       {.verb = 1, .headers = "Content-Type: text/plain"},
       "POST /p HTTP/1.1",
       "Content-Type: text/plain\r\n" + ua + middle + cc,
       ""},
      // The search is case-sensitive, so the default is added too, and adding it replaces the
      // header of the same name in its place.
      {"content-type in lower case gets the default as well",
       "/p",
       {.verb = 1, .headers = "content-type: text/plain"},
       "POST /p HTTP/1.1",
       ct + ua + middle + cc,
       ""},
      {"verb 8 is GET without Content-Type", "/", {.verb = 8}, "GET / HTTP/1.1", kDefaultBlock, ""},
      {"verb -1 is GET without Content-Type",
       "/",
       {.verb = -1},
       "GET / HTTP/1.1",
       kDefaultBlock,
       ""},
      {"PUT with a body gets no Content-Type",
       "/u",
       {.verb = 3, .post_text = "x"},
       "PUT /u HTTP/1.1",
       kDefaultBlock + "Content-Length: 1\r\n",
       "x"},
      {"GET with a body",
       "/g",
       {.verb = 0, .post_text = "a=1"},
       "GET /g HTTP/1.1",
       kDefaultBlock + "Content-Length: 3\r\n",
       "a=1"},
      {"DELETE", "/d", {.verb = 5}, "DELETE /d HTTP/1.1", kDefaultBlock, ""},
      {"user-agent in any case suppresses the default",
       "/",
       {.headers = "user-agent: X"},
       "GET / HTTP/1.1",
       "user-agent: X\r\n" + middle + cc,
       ""},
      {"several caller lines stay first, in order",
       "/",
       {.headers = "X-One: 1\r\nAccept: */*\r\nX-Two: 2"},
       "GET / HTTP/1.1",
       "X-One: 1\r\nAccept: */*\r\nX-Two: 2\r\n" + ua +
           "Accept-Encoding: gbk, GB2312\r\nAccept-Language: zh-cn\r\n" + cc,
       ""},
      {"a key inside a value counts as well",
       "/",
       {.headers = "X-Note: accept: y"},
       "GET / HTTP/1.1",
       "X-Note: accept: y\r\n" + ua + "Accept-Encoding: gbk, GB2312\r\nAccept-Language: zh-cn\r\n" +
           cc,
       ""},
      {"cookies add the Cookie line last",
       "/",
       {.cookies = &cookies_a1},
       "GET / HTTP/1.1",
       kDefaultBlock + "Cookie: a=1\r\n",
       ""},
      {"a cookie line in the headers, any case, suppresses it",
       "/",
       {.cookies = &cookies_a1, .headers = "COOKIE: b=2"},
       "GET / HTTP/1.1",
       "COOKIE: b=2\r\n" + kDefaultBlock,
       ""},
      {"empty cookies add no line",
       "/",
       {.cookies = &cookies_empty},
       "GET / HTTP/1.1",
       kDefaultBlock,
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server({{send(reply("200 OK", "done"))}});
    Text status;
    WinHttpArgs args = row.args;
    args.status_text = &status;
    winhttp_request(Text(server.url(row.path)), args);
    EXPECT_EQ(status, Text("200 OK"));
    ASSERT_TRUE(server.wait_for_requests(1));
    const RecordedRequest request = server.requests().at(0);
    EXPECT_EQ(request.request_line, row.request_line);
    EXPECT_EQ(request.headers_without("Host"), row.block);
    EXPECT_EQ(request.body, row.body);
  }
}

TEST_F(WinHttpTest, HeadReadsNoBody) {
  ScriptedServer server({{send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n")}});
  Text status;
  ByteSet bytes("x");
  const Text body = winhttp_request(Text(server.url("/")),
                                    {.verb = 2, .status_text = &status, .body_bytes = &bytes});
  EXPECT_EQ(status, Text("200 OK"));
  EXPECT_EQ(body, Text());
  EXPECT_EQ(bytes, ByteSet());
  EXPECT_EQ(server.requests().at(0).request_line, "HEAD / HTTP/1.1");
}

TEST_F(WinHttpTest, ServerCredentialsOnlyWhenBothPartsAreGiven) {
  struct Row {
    const char* name;
    Text user, password;
    std::string authorization;
  };
  const Row rows[] = {
      {"both, ':' and '%' intact", "u%41:x", "p:%3A", "Basic " + base64("u%41:x:p:%3A")},
      {"user alone", "user", "", ""},
      {"password alone", "", "secret", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server({{send(reply("200 OK"))}});
    winhttp_request(Text(server.url("/")),
                    {.server_user = row.user, .server_password = row.password});
    ASSERT_TRUE(server.wait_for_requests(1));
    EXPECT_EQ(server.requests().at(0).header("Authorization"), row.authorization);
  }
}

// The proxy is a scripted server; the destination is a port that refuses, so nothing but the
// proxy is ever reached.
TEST_F(WinHttpTest, HttpUrlThroughTheProxyAsAnAbsoluteUrl) {
  ScriptedServer proxy({{send(reply("200 OK", "via proxy"))}});
  RefusingPort destination;
  const std::string target = "127.0.0.1:" + std::to_string(destination.port());
  const Text body = winhttp_request(Text("http://" + target + "/x?y=1"),
                                    {.proxy = Text("127.0.0.1:" + std::to_string(proxy.port())),
                                     .proxy_user = "pu:1",
                                     .proxy_password = "pp%"});

  EXPECT_EQ(body, Text("via proxy"));
  ASSERT_TRUE(proxy.wait_for_requests(1));
  const RecordedRequest request = proxy.requests().at(0);
  EXPECT_EQ(request.request_line, "GET http://" + target + "/x?y=1 HTTP/1.1");
  EXPECT_EQ(request.header("Host"), target);
  EXPECT_EQ(request.header("Proxy-Authorization"), "Basic " + base64("pu:1:pp%"));
  RecordedRequest rest = request;
  rest.headers = request.headers_without("Host");
  EXPECT_EQ(rest.headers_without("Proxy-Authorization"), kDefaultBlock);
}

TEST_F(WinHttpTest, HttpsUrlTunnelsThroughTheProxy) {
  ScriptedServer proxy({{send(reply("403 Forbidden"))}});
  RefusingPort destination;
  const std::string target = "127.0.0.1:" + std::to_string(destination.port());
  Text status;
  const Text body = winhttp_request(
      Text("https://" + target + "/x"),
      {.proxy = Text("127.0.0.1:" + std::to_string(proxy.port())), .status_text = &status});

  EXPECT_EQ(body, Text());
  EXPECT_EQ(status, ZH("711 发送请求失败!"));
  ASSERT_TRUE(proxy.wait_for_requests(1));
  EXPECT_EQ(proxy.requests().at(0).request_line, "CONNECT " + target + " HTTP/1.1");
}

// The certificate is verified: a self-signed one ends the call at the send, before any byte of
// the request is encrypted.
TEST_F(WinHttpTest, HttpsRefusesAnUntrustedCertificate) {
  SelfSignedTlsServer server;
  Text status;
  const Text body =
      winhttp_request(Text("https://127.0.0.1:" + std::to_string(server.port()) + "/"),
                      {.timeout = 5, .status_text = &status});
  EXPECT_EQ(body, Text());
  EXPECT_EQ(status, ZH("711 发送请求失败!"));
  EXPECT_EQ(server.connections(), 1);
  EXPECT_EQ(server.completed_handshakes(), 0);
}

TEST_F(WinHttpTest, IdleLimitBetweenBytes) {
  // Silent: no status line within one second.
  {
    ScriptedServer server({{stay_silent()}});
    Text status;
    const auto start = Clock::now();
    const Text body =
        winhttp_request(Text(server.url("/")), {.timeout = 1, .status_text = &status});
    const double elapsed = seconds_since(start);
    EXPECT_EQ(body, Text());
    EXPECT_EQ(status, ZH("712 服务器未响应!"));
    EXPECT_GE(elapsed, 0.9);
    EXPECT_LT(elapsed, 2.5);
  }
  // A byte every 300 ms: 2.4 s in all, never a second without a byte.
  {
    ScriptedServer server(
        {{send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n"), drip("abcdefgh", 300)}});
    Text status;
    const auto start = Clock::now();
    const Text body =
        winhttp_request(Text(server.url("/")), {.timeout = 1, .status_text = &status});
    EXPECT_EQ(body, Text("abcdefgh"));
    EXPECT_EQ(status, Text("200 OK"));
    EXPECT_GT(seconds_since(start), 1.5);
  }
  // The same pause within the status line.
  {
    ScriptedServer server({{drip("HTTP/1.1 200 OK\r\n", 150), send("Content-Length: 1\r\n\r\nz")}});
    const Text body = winhttp_request(Text(server.url("/")), {.timeout = 1});
    EXPECT_EQ(body, Text("z"));
  }
}

// Seconds to the four limits in milliseconds; a value beyond the range of the milliseconds is
// held at its end instead of overflowing.
TEST_F(WinHttpTest, TimeoutSecondsToMilliseconds) {
  struct Row {
    int timeout;
    int ms;
  };
  const Row rows[] = {{5, 5000}, {1, 1000}, {0, 30000}, {-3, 30000}, {2147483647, 2147483647}};
  ScriptedServer server({{send(reply("200 OK", "fine"))}});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.timeout);
    EXPECT_EQ(winhttp_request(Text(server.url("/")), {.timeout = row.timeout}), Text("fine"));
    EXPECT_EQ(wh::testing::last_timeouts(),
              (wh::testing::TimeoutsGiven{row.ms, row.ms, row.ms, row.ms}));
  }
}

// Each failure: the message, the empty result, the outputs of the response handling untouched,
// and the dispatches of the stages reached.
TEST_F(WinHttpTest, FailuresOnTheWire) {
  RefusingPort refusing;
  ScriptedServer silent({{stay_silent()}});
  ScriptedServer closing({{close_connection()}});
  struct Row {
    const char* name;
    std::string url;
    const Text& message;
    int dispatches;
  };
  const Row rows[] = {
      {"no scheme", "127.0.0.1/x", ZH("701 解析URL地址失败!"), 1},
      {"another scheme", "ftp://127.0.0.1/x", ZH("701 解析URL地址失败!"), 1},
      {"no host", "http:///x", ZH("701 解析URL地址失败!"), 1},
      {"port out of range", "http://127.0.0.1:65536/", ZH("701 解析URL地址失败!"), 1},
      {"port not a number", "http://127.0.0.1:8o/", ZH("701 解析URL地址失败!"), 1},
      {"empty URL", "", ZH("701 解析URL地址失败!"), 1},
      {"refused connection", "http://127.0.0.1:" + std::to_string(refusing.port()) + "/",
       ZH("711 发送请求失败!"), 7},
      {"silent server", silent.url("/"), ZH("712 服务器未响应!"), 8},
      {"closed before a status line", closing.url("/"), ZH("712 服务器未响应!"), 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    dispatches_ = 0;
    Text status("before"), headers("before"), cookies("before"), location("before");
    ByteSet bytes("before");
    const auto start = Clock::now();
    const Text body = winhttp_request(Text(row.url), {.new_cookies = &cookies,
                                                      .response_headers = &headers,
                                                      .timeout = 1,
                                                      .location = &location,
                                                      .status_text = &status,
                                                      .body_bytes = &bytes});
    EXPECT_LT(seconds_since(start), 2.5);
    EXPECT_EQ(body, Text());
    EXPECT_EQ(status, row.message);
    EXPECT_EQ(headers, Text("before"));
    EXPECT_EQ(cookies, Text("before"));
    EXPECT_EQ(location, Text("before"));
    EXPECT_EQ(bytes, ByteSet("before"));
    EXPECT_EQ(dispatches_, row.dispatches);
    EXPECT_EQ(wh::testing::open_handles(), 0);
  }
}

// After the headers, a failure is a failed read: the bytes before it are kept and, as the
// header query then succeeds, its status text replaces the read failure's message.
TEST_F(WinHttpTest, FailuresAfterTheHeadersKeepThePartialBody) {
  struct Row {
    const char* name;
    Script script;
  };
  const Row rows[] = {
      {"closed mid-body",
       {send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc"), close_connection()}},
      {"bad chunked encoding",
       {send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nzz\r\n")}},
      {"idle limit mid-body",
       {send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc"), stay_silent()}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server({row.script});
    Text status("before");
    ByteSet bytes;
    Text headers;
    dispatches_ = 0;
    const Text body = winhttp_request(
        Text(server.url("/")),
        {.response_headers = &headers, .timeout = 1, .status_text = &status, .body_bytes = &bytes});
    EXPECT_EQ(body, Text("abc"));
    EXPECT_EQ(bytes, ByteSet("abc"));
    EXPECT_EQ(status, Text("200 OK"));
    EXPECT_EQ(text_left(headers, 17), Text("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(dispatches_, complete_dispatches(3));
  }
}

// Every step's refusal, forced through the platform layer's test seam.
TEST_F(WinHttpTest, EveryStepsFailureMessageAndDispatches) {
  using Role = wh::testing::Role;
  ScriptedServer server({{send(reply("200 OK", "body", "Set-Cookie: a=1\r\nLocation: /x\r\n"))}});
  struct Row {
    const char* name;
    Role role;
    int nth;
    WinHttpArgs args;
    const Text& message;
    int dispatches;
  };
  const Row rows[] = {
      {"platform", Role::check_platform, 1, {}, ZH("700 当前系统不支持WinHttp服务!"), 0},
      {"URL", Role::crack_url, 1, {}, ZH("701 解析URL地址失败!"), 1},
      {"session", Role::open_session, 1, {}, ZH("702 创建WinHttp会话失败!"), 2},
      {"connection", Role::connect, 1, {}, ZH("703 创建WinHttp连接失败!"), 3},
      {"request", Role::open_request, 1, {}, ZH("704 创建WinHttp请求失败!"), 4},
      {"timeouts", Role::set_timeouts, 1, {}, ZH("705 设置超时时间失败!"), 5},
      {"server credentials",
       Role::set_credentials,
       1,
       {.server_user = "u", .server_password = "p", .proxy_user = "v", .proxy_password = "q"},
       ZH("706 设置服务器凭证失败!"),
       0},
      {"proxy credentials",
       Role::set_credentials,
       1,
       {.proxy_user = "v", .proxy_password = "q"},
       ZH("707 设置代理凭证失败!"),
       0},
      {"cookie option", Role::set_option, 1, {}, ZH("708 禁止自动设置Cookies失败!"), 0},
      {"redirect option", Role::set_option, 2, {.no_redirect = true}, ZH("709 重定向设置失败!"), 0},
      {"header block", Role::add_headers, 1, {}, ZH("710 设置协议头失败!"), 6},
      {"send", Role::send, 1, {}, ZH("711 发送请求失败!"), 7},
      {"receive", Role::receive, 1, {}, ZH("712 服务器未响应!"), 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    dispatches_ = 0;
    Text cookies("c=1"), status("before"), headers("before"), fresh("before"), location("before");
    ByteSet bytes("before");
    WinHttpArgs args = row.args;
    args.cookies = &cookies;
    args.new_cookies = &fresh;
    args.response_headers = &headers;
    args.location = &location;
    args.status_text = &status;
    args.body_bytes = &bytes;
    wh::testing::fail_call(row.role, row.nth);
    const Text body = winhttp_request(Text(server.url("/")), args);
    wh::testing::clear_failures();
    EXPECT_EQ(body, Text());
    EXPECT_EQ(status, row.message);
    EXPECT_EQ(cookies, Text("c=1"));
    EXPECT_EQ(fresh, Text("before"));
    EXPECT_EQ(headers, Text("before"));
    EXPECT_EQ(location, Text("before"));
    EXPECT_EQ(bytes, ByteSet("before"));
    EXPECT_EQ(dispatches_, row.dispatches);
    EXPECT_EQ(wh::testing::open_handles(), 0);
  }
}

TEST_F(WinHttpTest, FailedHeaderQueryWritesNothingAndDropsTheBody) {
  ScriptedServer server({{send(reply("200 OK", "body", "Set-Cookie: a=1\r\n"))}});
  Text status("before"), fresh("before");
  ByteSet bytes("before");
  wh::testing::fail_call(wh::testing::Role::query_headers, 2);
  const Text body = winhttp_request(
      Text(server.url("/")), {.new_cookies = &fresh, .status_text = &status, .body_bytes = &bytes});
  EXPECT_EQ(body, Text());
  EXPECT_EQ(status, Text("before"));
  EXPECT_EQ(fresh, Text("before"));
  EXPECT_EQ(bytes, ByteSet("before"));
  EXPECT_EQ(dispatches_, 9);
}

// A failed read leaves its message only when the header query fails as well; a failed
// data-available query is no failure at all.
TEST_F(WinHttpTest, ReadFailureMessageAndTheHeaderQuery) {
  using Role = wh::testing::Role;
  ScriptedServer server({{send(reply("200 OK", "body"))}});
  struct Row {
    const char* name;
    std::vector<std::pair<Role, int>> failures;
    const Text& status;
  };
  const Text ok("200 OK");
  const Row rows[] = {
      {"read", {{Role::read, 1}}, ok},
      {"read and header query",
       {{Role::read, 1}, {Role::query_headers, 2}},
       ZH("713 读取数据失败!")},
      {"data available", {{Role::query_data_available, 1}}, ok},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (auto [role, nth] : row.failures) wh::testing::fail_call(role, nth);
    Text status;
    EXPECT_EQ(winhttp_request(Text(server.url("/")), {.status_text = &status}), Text());
    wh::testing::clear_failures();
    EXPECT_EQ(status, row.status);
  }
}

TEST_F(WinHttpTest, MalformedHeaderLineIsRefused) {
  ScriptedServer server({{send(reply("200 OK"))}});
  for (const char* headers : {"no colon here", "Bad Name: x", "X-A: 1\nX-B: 2", ": empty"}) {
    SCOPED_TRACE(headers);
    Text status;
    winhttp_request(Text(server.url("/")), {.headers = headers, .status_text = &status});
    EXPECT_EQ(status, ZH("710 设置协议头失败!"));
  }
  EXPECT_EQ(server.requests().size(), 0u);
}

}  // namespace
