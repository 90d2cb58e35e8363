// wininet_request on the wire, its output arguments, the process-wide cookie store and the
// failure paths, against scripted loopback servers.
#include <optional>
#include <string>

#include "base/literal.h"
#include "tests/net/wininet_test_support.h"

namespace {

using namespace test_support;
namespace wi = platform::wininet;

std::string port_of(const ScriptedServer& server) {
  return std::to_string(server.port());
}

TEST_F(WinInetTest, UrlAloneSendsTheDefaultBlockAndReturnsTheBody) {
  const std::string body("\x89PNG\0\r\n\x1a", 8);
  ScriptedServer server({{send(reply("200 OK", body))}});
  const std::string url = server.url("/images/x.png");

  EXPECT_EQ(wininet_request(Text(url)), ByteSet(body));
  ASSERT_TRUE(server.wait_for_requests(1));
  const RecordedRequest request = server.requests().at(0);
  EXPECT_EQ(request.request_line, "GET /images/x.png HTTP/1.1");
  EXPECT_EQ(request.header("Host"), "127.0.0.1:" + port_of(server));
  // The session's agent goes on the wire after the block, as WinINet sends it.
  EXPECT_EQ(request.headers_without("Host"), default_wire_block(url));
  EXPECT_EQ(request.body, "");
}

// Request line, the block written back to `headers`, the block on the wire (Host aside), the
// body, and `post_bytes` afterwards.
TEST_F(WinInetTest, RequestLineHeaderBlockAndBody) {
  struct Row {
    const char* name = "";
    std::string path = "/";  // after "http://127.0.0.1:<port>"
    int verb = 0;
    Text post_text{};
    std::optional<Text> headers{};  // passed when set
    std::optional<ByteSet> post_bytes{};
    std::optional<Text> cookies{};
    std::string request_line = "GET / HTTP/1.1";
    std::string block{};  // "<url>" stands for the request URL
    std::string wire{};   // empty: the block's lines, then the agent line
    std::string body{};
    std::optional<ByteSet> post_bytes_after{};
  };
  const std::string defaults = "Accept: */*\r\nReferer: <url>\r\nAccept-Language: zh-cn";
  const std::string ct = "\r\nContent-Type: application/x-www-form-urlencoded";
  const std::string x0y("x\0y", 3);
  const Row rows[] = {
      {.name = "verb 9 is GET, and GET sends no body",
       .verb = 9,
       .post_text = "a=1",
       .post_bytes = ByteSet("xyz"),
       .block = defaults,
       .post_bytes_after = ByteSet("xyz")},
      {.name = "verb -1 is GET", .verb = -1, .block = defaults},
      {.name = "POST takes post_text and writes post_bytes back",
       .verb = 1,
       .post_text = "a=1",
       .post_bytes = ByteSet(),
       .request_line = "POST / HTTP/1.1",
       .block = defaults + ct,
       .body = "a=1",
       .post_bytes_after = ByteSet("a=1")},
      {.name = "POST without post_bytes passed",
       .verb = 1,
       .post_text = "a=1",
       .request_line = "POST / HTTP/1.1",
       .block = defaults + ct,
       .body = "a=1"},
      {.name = "post_bytes wins over post_text",
       .verb = 1,
       .post_text = "a=1",
       .post_bytes = ByteSet(x0y),
       .request_line = "POST / HTTP/1.1",
       .block = defaults + ct,
       .body = x0y,
       .post_bytes_after = ByteSet(x0y)},
      {.name = "POST with nothing to send",
       .verb = 1,
       .post_bytes = ByteSet(),
       .request_line = "POST / HTTP/1.1",
       .block = defaults + ct,
       .post_bytes_after = ByteSet()},
      {.name = "PUT gets no Content-Type",
       .verb = 3,
       .post_text = "x",
       .post_bytes = ByteSet(),
       .request_line = "PUT / HTTP/1.1",
       .block = defaults,
       .body = "x",
       .post_bytes_after = ByteSet("x")},
      {.name = "DELETE with a body",
       .verb = 5,
       .post_text = "k",
       .request_line = "DELETE / HTTP/1.1",
       .block = defaults,
       .body = "k"},
      {.name = "caller lines suppress every default",
       .verb = 1,
       .headers = Text("Accept: a\r\nReferer: r\r\nAccept-Language: en\r\nContent-Type: t"),
       .request_line = "POST / HTTP/1.1",
       .block = "Accept: a\r\nReferer: r\r\nAccept-Language: en\r\nContent-Type: t"},
      // The searches are case-sensitive: a lower-case name gets the default line as well.
      {.name = "accept: in lower case still gets Accept",
       .headers = Text("accept: x"),
       .block = "accept: x\r\n" + defaults},
      {.name = "content-type: in lower case still gets Content-Type",
       .verb = 1,
       .headers = Text("content-type: t"),
       .request_line = "POST / HTTP/1.1",
       .block = "content-type: t\r\n" + defaults + ct},
      {.name = "an empty block passed starts with Accept", .headers = Text(""), .block = defaults},
      {.name = "cookie string a=1", .cookies = Text("a=1"), .block = defaults + "\r\nCookie: a=1"},
      {.name = "a whole Cookie line goes unchanged",
       .cookies = Text("Cookie: a=1"),
       .block = defaults + "\r\nCookie: a=1"},
      {.name = "empty cookies add no line", .cookies = Text(""), .block = defaults},
      // A User-Agent line of the caller's, any letter case, is the only one on the wire.
      {.name = "user-agent: X alone",
       .headers = Text("user-agent: X"),
       .block = "user-agent: X\r\n" + defaults,
       .wire = "user-agent: X\r\n" + defaults + "\r\n"},
      {.name = "User-Agent: X among other lines",
       .headers = Text("X-A: 1\r\nUser-Agent: X\r\nX-B: 2"),
       .block = "X-A: 1\r\nUser-Agent: X\r\nX-B: 2\r\n" + defaults,
       .wire = "X-A: 1\r\nUser-Agent: X\r\nX-B: 2\r\n" + defaults + "\r\n"},
      // No User-Agent header, but the name inside a value: the agent is taken from there.
      {.name = "agent from a value",
       .headers = Text("X-Via: User-Agent: Y"),
       .block = "X-Via: User-Agent: Y\r\n" + defaults,
       .wire = "X-Via: User-Agent: Y\r\n" + defaults + "\r\nUser-Agent: Y\r\n"},
      {.name = "agent from a value in lower case: the whole block's value",
       .headers = Text("X-Via: user-agent: Y"),
       .block = "X-Via: user-agent: Y\r\n" + defaults,
       .wire = "X-Via: user-agent: Y\r\n" + defaults + "\r\nUser-Agent: user-agent: Y\r\n"},
      // That value spans lines here; only its first line may reach the wire.
      {.name = "an agent is cut at its first line break",
       .headers = Text("Accept: a\r\nX-Via: user-agent: Y"),
       .block = "Accept: a\r\nX-Via: user-agent: Y\r\nReferer: <url>\r\nAccept-Language: zh-cn",
       .wire = "Accept: a\r\nX-Via: user-agent: Y\r\nReferer: <url>\r\nAccept-Language: zh-cn\r\n"
               "User-Agent: a\r\n"},
      // The block is searched whole, the URL in the Referer line included.
      {.name = "keys inside the URL of the Referer line count",
       .path = "/q?Accept-Language:1&Content-Type:2",
       .verb = 1,
       .request_line = "POST /q?Accept-Language:1&Content-Type:2 HTTP/1.1",
       .block = "Accept: */*\r\nReferer: <url>"},
      {.name = "the URL does not count without its Referer line",
       .path = "/q?Accept-Language:1",
       .headers = Text("Referer: r"),
       .request_line = "GET /q?Accept-Language:1 HTTP/1.1",
       .block = "Referer: r\r\nAccept: */*\r\nAccept-Language: zh-cn"},
      {.name = "blanks and CP936 bytes in the path go %-escaped",
       .path = "/q?n=a b&m=" + ZH("账号").bytes(),
       .request_line = "GET /q?n=a%20b&m=%D5%CB%BA%C5 HTTP/1.1",
       .block = defaults},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server({{send(reply("200 OK", "done"))}});
    const std::string url = server.url(row.path);
    const auto with_url = [&](std::string text) {
      for (std::size_t at; (at = text.find("<url>")) != std::string::npos;)
        text.replace(at, 5, url);
      return text;
    };
    std::optional<Text> headers = row.headers;
    std::optional<ByteSet> post_bytes = row.post_bytes;
    std::optional<Text> cookies = row.cookies;
    const ByteSet body =
        wininet_request(Text(url), {.verb = row.verb,
                                    .post_text = row.post_text,
                                    .cookies = cookies ? &*cookies : nullptr,
                                    .headers = headers ? &*headers : nullptr,
                                    .post_bytes = post_bytes ? &*post_bytes : nullptr});

    EXPECT_EQ(body, ByteSet("done"));
    if (headers) {
      EXPECT_EQ(*headers, Text(with_url(row.block)));
    }
    EXPECT_EQ(post_bytes, row.post_bytes_after);
    ASSERT_TRUE(server.wait_for_requests(1));
    const RecordedRequest request = server.requests().at(0);
    EXPECT_EQ(request.request_line, row.request_line);
    std::string wire = row.wire.empty() ? row.block + "\r\n" + kDefaultAgentLine : row.wire;
    if (!row.body.empty()) wire += "Content-Length: " + std::to_string(row.body.size()) + "\r\n";
    EXPECT_EQ(request.headers_without("Host"), with_url(wire));
    EXPECT_EQ(request.body, row.body);
  }
}

TEST_F(WinInetTest, ResponseHeadersAndSetCookieCollection) {
  struct Row {
    const char* name;
    std::string extra_headers;
    std::string response_headers;  // after "HTTP/1.1 200 OK\r\n"
    Text new_cookies;
  };
  const Row rows[] = {
      {"any letter case is spelled Set-Cookie, attributes dropped",
       "Set-Cookie: a=1; path=/\r\nset-cookie: b=2\r\n",
       "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nContent-Length: 2\r\n\r\n", "a=1; b=2"},
      {"SET-COOKIE too", "SET-COOKIE: c=3; HttpOnly\r\n",
       "Set-Cookie: c=3; HttpOnly\r\nContent-Length: 2\r\n\r\n", "c=3"},
      {"no Set-Cookie: empty", "X-A: 1\r\n", "X-A: 1\r\nContent-Length: 2\r\n\r\n", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server({{send(reply("200 OK", "ok", row.extra_headers))}});
    Text response_headers("stale"), new_cookies("stale");
    wininet_request(Text(server.url("/")),
                    {.new_cookies = &new_cookies, .response_headers = &response_headers});
    EXPECT_EQ(response_headers, Text("HTTP/1.1 200 OK\r\n" + row.response_headers));
    EXPECT_EQ(new_cookies, row.new_cookies);
  }
}

TEST_F(WinInetTest, MergeIntoTheCallersCookies) {
  struct Row {
    const char* name;
    bool merge;
    Text cookies_after, new_cookies;
  };
  const Row rows[] = {
      {"merged: both hold the merged string", true, "x=3; y=2", "x=3; y=2"},
      {"merge off: the caller's string stays", false, "x=1; y=2", "x=3"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server({{send(reply("200 OK", "ok", "Set-Cookie: x=3; path=/\r\n"))}});
    Text cookies("x=1; y=2"), new_cookies;
    wininet_request(Text(server.url("/")),
                    {.cookies = &cookies, .new_cookies = &new_cookies, .merge = row.merge});
    EXPECT_EQ(cookies, row.cookies_after);
    EXPECT_EQ(new_cookies, row.new_cookies);
  }
}

// Headers far beyond 5000 bytes are read whole, so the cookie after them is not lost.
TEST_F(WinInetTest, LargeResponseHeadersKeepTheirCookies) {
  const std::string pad = "X-Pad: " + std::string(12000, 'p') + "\r\n";
  ScriptedServer server({{send(reply("200 OK", "ok", pad + "Set-Cookie: big=1; path=/\r\n"))}});
  Text response_headers, new_cookies;
  const ByteSet body = wininet_request(
      Text(server.url("/")), {.new_cookies = &new_cookies, .response_headers = &response_headers});
  EXPECT_EQ(body, ByteSet("ok"));
  EXPECT_EQ(new_cookies, Text("big=1"));
  EXPECT_EQ(response_headers, Text("HTTP/1.1 200 OK\r\n" + pad +
                                   "Set-Cookie: big=1; path=/\r\nContent-Length: 2\r\n\r\n"));
}

// One store for the process: a call without `cookies` stores and sends; a call with `cookies`,
// even empty, neither sends the stored cookies nor stores the response's.
TEST_F(WinInetTest, ProcessWideCookieStore) {
  ScriptedServer server({
      {send(reply("200 OK", "1", "Set-Cookie: s=1; Path=/\r\n"))},
      {send(reply("200 OK", "2"))},
      {send(reply("200 OK", "3", "Set-Cookie: t=2; Path=/\r\n"))},
      {send(reply("200 OK", "4", "Set-Cookie: u=3; Path=/\r\n"))},
      {send(reply("200 OK", "5"))},
  });
  const Text url(server.url("/a"));
  Text fresh;
  wininet_request(url, {.new_cookies = &fresh});
  EXPECT_EQ(fresh, Text("s=1"));
  wininet_request(url);
  Text mine("c=9");
  wininet_request(url, {.cookies = &mine});
  Text none("");
  wininet_request(url, {.cookies = &none});
  wininet_request(url);

  ASSERT_TRUE(server.wait_for_requests(5));
  const auto requests = server.requests();
  EXPECT_EQ(requests[0].header("Cookie"), "");
  // The store's line goes before the block.
  const std::string block =
      "Accept: */*\r\nReferer: " + url.bytes() + "\r\nAccept-Language: zh-cn\r\n";
  EXPECT_EQ(requests[1].headers_without("Host"), "Cookie: s=1\r\n" + block + kDefaultAgentLine);
  EXPECT_EQ(requests[2].headers_without("Host"), block + "Cookie: c=9\r\n" + kDefaultAgentLine);
  EXPECT_EQ(requests[3].headers_without("Host"), block + kDefaultAgentLine);
  // Neither t=2 nor u=3 was stored.
  EXPECT_EQ(requests[4].header("Cookie"), "s=1");
}

TEST_F(WinInetTest, BodyReadInChunks) {
  std::string big;
  for (int i = 0; i < 5000; ++i) big.push_back(static_cast<char>(i % 251));
  struct Row {
    const char* name;
    Script script;
    std::string body;
    Text new_cookies;
  };
  const Row rows[] = {
      {"several chunks and a short last one", {send(reply("200 OK", big))}, big, ""},
      {"chunked transfer coding",
       {send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
             "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n")},
       "hello world",
       ""},
      {"bytes arriving one at a time", {drip(reply("200 OK", "drip"), 1)}, "drip", ""},
      // The connection ends early: the bytes read so far, and the headers still count.
      {"cut off after 4 of 10 bytes",
       {send("HTTP/1.1 200 OK\r\nSet-Cookie: k=1\r\nContent-Length: 10\r\n\r\nabcd"),
        close_connection()},
       "abcd",
       "k=1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server({row.script});
    Text new_cookies;
    const ByteSet body = wininet_request(Text(server.url("/")), {.new_cookies = &new_cookies});
    EXPECT_EQ(body, ByteSet(row.body));
    EXPECT_EQ(new_cookies, row.new_cookies);
  }
}

TEST_F(WinInetTest, Redirects) {
  struct Row {
    const char* name;
    bool no_redirect;
    std::string body;
    std::string status_line;
    std::size_t requests;
  };
  const Row rows[] = {
      {"followed", false, "final", "HTTP/1.1 200 OK", 2},
      {"not followed with no_redirect", true, "moved", "HTTP/1.1 302 Found", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server({
        {send(reply("302 Found", "moved", "Location: next\r\n"))},
        {send(reply("200 OK", "final"))},
    });
    Text response_headers;
    const ByteSet body =
        wininet_request(Text(server.url("/dir/first")),
                        {.response_headers = &response_headers, .no_redirect = row.no_redirect});
    EXPECT_EQ(body, ByteSet(row.body));
    EXPECT_EQ(text_left(response_headers, static_cast<int>(row.status_line.size())),
              Text(row.status_line));
    ASSERT_TRUE(server.wait_for_requests(static_cast<int>(row.requests)));
    EXPECT_EQ(server.requests().size(), row.requests);
    if (row.requests == 2) {
      EXPECT_EQ(server.requests()[1].request_line, "GET /dir/next HTTP/1.1");
    }
  }
}

// An http URL with a proxy: the proxy serves http only, and gets the absolute URL. The
// destination refuses, so nothing but the proxy is ever reached.
TEST_F(WinInetTest, HttpUrlThroughTheProxy) {
  ScriptedServer proxy({{send(reply("200 OK", "via proxy"))}});
  RefusingPort destination;
  const std::string url = "http://127.0.0.1:" + std::to_string(destination.port()) + "/x?y=1";
  const ByteSet body = wininet_request(Text(url), {.proxy = Text("127.0.0.1:" + port_of(proxy))});

  EXPECT_EQ(body, ByteSet("via proxy"));
  ASSERT_TRUE(proxy.wait_for_requests(1));
  const RecordedRequest request = proxy.requests().at(0);
  EXPECT_EQ(request.request_line, "GET " + url + " HTTP/1.1");
  EXPECT_EQ(request.headers_without("Host"), default_wire_block(url));
}

// An https URL with a proxy: the proxy serves every scheme, so https goes through it as a
// tunnel. This proxy refuses the tunnel: nothing comes back.
TEST_F(WinInetTest, HttpsUrlTunnelsThroughTheProxy) {
  ScriptedServer proxy({{send(reply("403 Forbidden"))}});
  RefusingPort destination;
  const std::string target = "127.0.0.1:" + std::to_string(destination.port());
  Text headers, new_cookies("stale");
  const ByteSet body = wininet_request(Text("https://" + target + "/x"),
                                       {.new_cookies = &new_cookies,
                                        .headers = &headers,
                                        .proxy = Text("127.0.0.1:" + port_of(proxy))});

  EXPECT_EQ(body, ByteSet());
  EXPECT_EQ(new_cookies, Text());
  ASSERT_TRUE(proxy.wait_for_requests(1));
  EXPECT_EQ(proxy.requests().at(0).request_line, "CONNECT " + target + " HTTP/1.1");
}

// Nothing is written when the session, the connection or the request cannot be opened.
TEST_F(WinInetTest, CannotOpenLeavesEveryArgumentAsPassed) {
  using Role = wi::testing::Role;
  struct Row {
    const char* name;
    std::optional<Role> fail;
    std::string url;  // "<server>" stands for the server's URL
  };
  const Row rows[] = {
      {"session", Role::open_session, "<server>"},
      {"connection", Role::connect, "<server>"},
      {"request", Role::open_request, "<server>"},
      {"empty host", {}, "http:///x"},
      {"port past 65535", {}, "http://127.0.0.1:70000/x"},
      // The host would be "u@127.0.0.1": no user information reaches the wire.
      {"user information before the host", {}, "<user@server>"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server({{send(reply("200 OK", "never", "Set-Cookie: z=1\r\n"))}});
    if (row.fail) wi::testing::fail_call(*row.fail);
    Text cookies("c = 1"), new_cookies("n"), headers("X-H: 1"), response_headers("r");
    ByteSet post_bytes;
    std::string url = row.url == "<server>" ? server.url("/") : row.url;
    if (row.url == "<user@server>") url = "http://u@127.0.0.1:" + port_of(server) + "/";
    const ByteSet body = wininet_request(Text(url), {.verb = 1,
                                                     .post_text = "p=1",
                                                     .cookies = &cookies,
                                                     .new_cookies = &new_cookies,
                                                     .headers = &headers,
                                                     .response_headers = &response_headers,
                                                     .post_bytes = &post_bytes});
    EXPECT_EQ(body, ByteSet());
    EXPECT_EQ(cookies, Text("c = 1"));
    EXPECT_EQ(new_cookies, Text("n"));
    EXPECT_EQ(headers, Text("X-H: 1"));
    EXPECT_EQ(response_headers, Text("r"));
    EXPECT_EQ(post_bytes, ByteSet());
    EXPECT_EQ(server.connections(), 0);
    wi::testing::clear_failures();
  }
}

// The host refuses: the call runs to its end with nothing read.
TEST_F(WinInetTest, UnreachableHost) {
  RefusingPort refusing;
  const std::string url = "http://127.0.0.1:" + std::to_string(refusing.port()) + "/x";
  Text headers, response_headers("stale"), new_cookies("stale");
  const ByteSet body = wininet_request(
      Text(url),
      {.new_cookies = &new_cookies, .headers = &headers, .response_headers = &response_headers});
  EXPECT_EQ(body, ByteSet());
  EXPECT_EQ(headers, Text("Accept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn"));
  EXPECT_EQ(new_cookies, Text());
  EXPECT_EQ(response_headers, Text());

  // With cookies supplied, the merge still runs over what the response did not set.
  Text cookies("a = 1; b=2");
  wininet_request(Text(url), {.cookies = &cookies, .new_cookies = &new_cookies});
  EXPECT_EQ(cookies, Text("a=1; b=2"));
  EXPECT_EQ(new_cookies, Text("a=1; b=2"));
}

}  // namespace
