// The response handling of winhttp_request: raw headers, status text, cookies, Location, body
// bytes and the result text, against scripted loopback servers.
#include <random>
#include <string>

#include "tests/net/winhttp_test_support.h"

namespace {

using namespace test_support;

TEST_F(WinHttpTest, StatusTextCookiesInAnyCaseAndNormalisedHeaders) {
  const std::string raw =
      "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nset-cookie: b=2\r\nSET-COOKIE: c=3\r\n"
      "Content-Length: 3\r\n\r\n";
  ScriptedServer server({{send(raw + "abc")}});
  Text status, headers, fresh("old");
  const Text body = winhttp_request(
      Text(server.url("/")),
      {.new_cookies = &fresh, .response_headers = &headers, .status_text = &status});

  EXPECT_EQ(body, Text("abc"));
  EXPECT_EQ(status, Text("200 OK"));
  EXPECT_EQ(fresh, Text("a=1; b=2; c=3"));
  EXPECT_EQ(headers, Text("HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n"
                          "Set-Cookie: c=3\r\nContent-Length: 3\r\n\r\n"));
  EXPECT_EQ(dispatches_, complete_dispatches(6));
}

TEST_F(WinHttpTest, NoSetCookieEmptiesNewCookies) {
  ScriptedServer server({{send(reply("404 Not Found", "missing"))}});
  Text status, fresh("old");
  winhttp_request(Text(server.url("/")), {.new_cookies = &fresh, .status_text = &status});
  EXPECT_EQ(status, Text("404 Not Found"));
  EXPECT_EQ(fresh, Text());
}

TEST_F(WinHttpTest, LocationWithRedirectsOff) {
  for (const char* line : {"Location: /next", "location: /next", "LOCATION: /next"}) {
    SCOPED_TRACE(line);
    ScriptedServer server({{send(reply("302 Found", "", std::string(line) + "\r\n"))}});
    Text status, location("before");
    winhttp_request(Text(server.url("/")),
                    {.no_redirect = true, .location = &location, .status_text = &status});
    EXPECT_EQ(status, Text("302 Found"));
    EXPECT_EQ(location, Text("/next"));
    EXPECT_EQ(server.requests().size(), 1u);
  }
  // No Location line: the caller's value stays.
  ScriptedServer server({{send(reply("200 OK"))}});
  Text location("before");
  winhttp_request(Text(server.url("/")), {.location = &location});
  EXPECT_EQ(location, Text("before"));
}

// Redirects followed: only the final response's headers count.
TEST_F(WinHttpTest, FollowedRedirectKeepsOnlyTheFinalResponse) {
  ScriptedServer server({
      {send(reply("302 Found", "moved", "Set-Cookie: r=1\r\nLocation: next\r\n"))},
      {send(reply("200 OK", "final", "Set-Cookie: f=2\r\n"))},
  });
  Text headers, fresh, location("before");
  const Text body =
      winhttp_request(Text(server.url("/dir/first")),
                      {.new_cookies = &fresh, .response_headers = &headers, .location = &location});
  EXPECT_EQ(body, Text("final"));
  EXPECT_EQ(headers, Text("HTTP/1.1 200 OK\r\nSet-Cookie: f=2\r\nContent-Length: 5\r\n\r\n"));
  EXPECT_EQ(fresh, Text("f=2"));
  EXPECT_EQ(location, Text("before"));
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.requests()[1].request_line, "GET /dir/next HTTP/1.1");
  // The library's own cookies are off: the redirect's cookie does not travel.
  EXPECT_EQ(server.requests()[1].header("Cookie"), "");
}

TEST_F(WinHttpTest, RedirectLoopEnds) {
  ScriptedServer server({{send(reply("302 Found", "", "Location: /loop\r\n"))}});
  Text status;
  const Text body = winhttp_request(Text(server.url("/loop")), {.status_text = &status});
  EXPECT_EQ(body, Text());
  EXPECT_EQ(status, ZH("712 服务器未响应!"));
  EXPECT_EQ(server.requests().size(), 11u);  // the first and ten redirects
}

TEST_F(WinHttpTest, InterimResponseDoesNotCount) {
  ScriptedServer server(
      {{send("HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n" + reply("201 Created", "made"))}});
  Text status, headers;
  const Text body = winhttp_request(Text(server.url("/")),
                                    {.response_headers = &headers, .status_text = &status});
  EXPECT_EQ(body, Text("made"));
  EXPECT_EQ(status, Text("201 Created"));
  EXPECT_EQ(headers, Text("HTTP/1.1 201 Created\r\nContent-Length: 4\r\n\r\n"));
}

TEST_F(WinHttpTest, HeadersBeyond64KiB) {
  std::string extra;
  for (int i = 0; i < 40; ++i) {
    extra += "X-Filler-" + std::to_string(i) + ": " + std::string(2000, 'f') + "\r\n";
  }
  extra += "Set-Cookie: late=1\r\n";
  ScriptedServer server({{send(reply("200 OK", "big", extra))}});
  Text status, headers, fresh;
  const Text body = winhttp_request(
      Text(server.url("/")),
      {.new_cookies = &fresh, .response_headers = &headers, .status_text = &status});
  EXPECT_EQ(body, Text("big"));
  EXPECT_EQ(status, Text("200 OK"));
  EXPECT_GT(text_length(headers), 80000);
  EXPECT_EQ(fresh, Text("late=1"));
}

TEST_F(WinHttpTest, ZeroByteEndsTheTextButNotTheBytes) {
  const std::string raw("ab\0cd", 5);
  ScriptedServer server({{send(reply("200 OK", raw))}});
  ByteSet bytes;
  const Text body = winhttp_request(Text(server.url("/")), {.body_bytes = &bytes});
  EXPECT_EQ(body, Text("ab"));
  EXPECT_EQ(bytes, ByteSet(raw));
}

// A body far larger than any piece, with zero bytes, chunked and not: every byte in order.
TEST_F(WinHttpTest, LargeBodyArrivesWhole) {
  std::mt19937 random(7);
  std::string raw(3 * 1024 * 1024 + 17, '\0');
  for (char& c : raw) c = static_cast<char>(random());
  std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (std::size_t at = 0; at < raw.size(); at += 100000) {
    const std::size_t n = std::min<std::size_t>(100000, raw.size() - at);
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", n);
    chunked.append(size).append(raw, at, n).append("\r\n");
  }
  chunked += "0\r\n\r\n";
  for (const std::string& response : {reply("200 OK", raw), chunked}) {
    ScriptedServer server({{send(response)}});
    ByteSet bytes;
    Text status;
    winhttp_request(Text(server.url("/")), {.status_text = &status, .body_bytes = &bytes});
    EXPECT_EQ(status, Text("200 OK"));
    EXPECT_TRUE(bytes == ByteSet(raw));
  }
}

TEST_F(WinHttpTest, DeclaredCharsetDecodesTheResult) {
  const std::string page = "<html><head><meta charset=\"utf-8\"></head>中文</html>";
  ScriptedServer server({{send(reply("200 OK", page))}});
  ByteSet bytes;
  const Text body = winhttp_request(Text(server.url("/")), {.body_bytes = &bytes});
  EXPECT_EQ(body, ZH("<html><head><meta charset=\"utf-8\"></head>中文</html>"));
  EXPECT_EQ(bytes, ByteSet(page));  // the bytes as they came
}

TEST_F(WinHttpTest, MergeOnAndOff) {
  struct Row {
    const char* name;
    bool merge;
    Text new_cookies;
    Text cookies_after;
  };
  const Row rows[] = {
      {"merge", true, "x=3; y=2", "x=3; y=2"},
      {"no merge", false, "x=3", "x=1; y=2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server({{send(reply("200 OK", "", "Set-Cookie: x=3; path=/\r\n"))}});
    Text cookies("x=1; y=2"), fresh;
    winhttp_request(Text(server.url("/")),
                    {.cookies = &cookies, .new_cookies = &fresh, .merge = row.merge});
    EXPECT_EQ(fresh, row.new_cookies);
    EXPECT_EQ(cookies, row.cookies_after);
    EXPECT_EQ(server.requests().at(0).header("Cookie"), "x=1; y=2");
  }
}

}  // namespace
