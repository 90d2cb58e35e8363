// The layers under winhttp_request: URL cracking and proxy choice in platform/winhttp, and the
// parts of the libcurl exchange engine that the request function does not reach (small reads,
// the shared cookie store, exchanges one after another and one inside another on a thread).
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/curl/cookie_store.h"
#include "platform/curl/exchange.h"
#include "platform/winhttp/winhttp.h"
#include "tests/support/scripted_server.h"

namespace {

using namespace test_support;
namespace wh = platform::winhttp;
namespace pc = platform::curl;

// ASCII as UTF-16LE bytes, with the terminator.
std::string utf16(std::string_view ascii) {
  std::string out;
  for (char c : ascii) out.append({c, '\0'});
  return out.append(2, '\0');
}

// `length` code units at `at` back to ASCII.
std::string ascii(const char* at, int length) {
  std::string out;
  for (int i = 0; i < length; ++i) out.push_back(at[2 * i]);
  return out;
}

TEST(CrackUrl, Parts) {
  struct Row {
    const char* url;
    int scheme_number;
    std::string scheme, host;
    int port;
    std::string path, extra;
  };
  const Row rows[] = {
      {"http://h/p?q=1#f", 1, "http", "h", 80, "/p", "?q=1#f"},
      {"https://bb.cc", 2, "https", "bb.cc", 443, "", ""},
      {"HTTP://user:pw@bb.cc:8012/lg.jsp?uid=u", 1, "HTTP", "bb.cc", 8012, "/lg.jsp", "?uid=u"},
      {"http://h?x=1", 1, "http", "h", 80, "", "?x=1"},
      {"http://h:/x", 1, "http", "h", 80, "/x", ""},
      {"https://[::1]:999/a/b", 2, "https", "[::1]", 999, "/a/b", ""},
      {"http://h/a@b:c", 1, "http", "h", 80, "/a@b:c", ""},
      {"http://h:00080", 1, "http", "h", 80, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.url);
    const std::string url = utf16(row.url);
    wh::UrlComponents parts;
    ASSERT_TRUE(wh::crack_url(url, -1, parts));
    EXPECT_EQ(parts.scheme_number, row.scheme_number);
    EXPECT_EQ(ascii(parts.scheme, parts.scheme_length), row.scheme);
    EXPECT_EQ(ascii(parts.host, parts.host_length), row.host);
    EXPECT_EQ(parts.port, row.port);
    EXPECT_EQ(ascii(parts.url_path, parts.url_path_length), row.path);
    EXPECT_EQ(ascii(parts.extra_info, parts.extra_info_length), row.extra);
  }
}

TEST(CrackUrl, MalformedLeavesThePartsAlone) {
  for (const char* url :
       {"", "h/x", "ftp://h/", "http:/h/", "http://", "http://:80/", "http://user@/x",
        "http://h:0/", "http://h:65536/", "http://h:12a/", "http://h:99999999999/"}) {
    SCOPED_TRACE(url);
    wh::UrlComponents parts;
    parts.port = 7;
    EXPECT_FALSE(wh::crack_url(utf16(url), -1, parts));
    EXPECT_EQ(parts.port, 7);
  }
  // The length counts: the same text cut before its port is well formed.
  wh::UrlComponents parts;
  EXPECT_TRUE(wh::crack_url(utf16("http://h:99999"), 8, parts));
  EXPECT_EQ(parts.port, 80);
}

// A named proxy entry serves the scheme it names, or both without one; a request no entry
// serves goes direct. The target is a plain server, so an https request to it fails either way:
// what counts is who was contacted.
TEST(NamedProxy, ServesItsSchemeOnly) {
  struct Row {
    const char* name;
    std::string prefix;  // before the proxy's "host:port"
    bool secure;
    bool through_proxy;
  };
  const Row rows[] = {
      {"http entry, http request", "http=", false, true},
      {"http entry, https request", "http=", true, false},
      {"https entry, http request", "https=", false, false},
      {"entry for both, https request", "", true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer proxy({{send(reply("200 OK"))}});
    ScriptedServer target({{send(reply("200 OK"))}});
    auto session = wh::open_session(
        wh::Access::named_proxy, utf16(row.prefix + "127.0.0.1:" + std::to_string(proxy.port())));
    ASSERT_TRUE(session);
    auto connection = wh::connect(*session, utf16("127.0.0.1"), target.port());
    auto request = wh::open_request(*connection, utf16("GET"), utf16("/"), row.secure);
    ASSERT_TRUE(wh::set_timeouts(*request, 300, 300, 300, 300));
    wh::send_request(*request, nullptr, 0);
    const ScriptedServer& contacted = row.through_proxy ? proxy : target;
    const ScriptedServer& passed_by = row.through_proxy ? target : proxy;
    EXPECT_TRUE(contacted.wait_for_connections(1));
    EXPECT_EQ(passed_by.connections(), 0);
  }
  EXPECT_FALSE(wh::open_session(wh::Access::named_proxy, utf16(" ; ")));
}

// Reads smaller than what is ready, and the end of the body reported again and again.
TEST(Exchange, SmallReadsDeliverEveryByteOnce) {
  std::string body;
  for (int i = 0; i < 20000; ++i) body += std::to_string(i % 10);
  ScriptedServer server({{send(reply("200 OK", body))}});
  pc::Exchange exchange;
  pc::ExchangeRequest request;
  request.host = "127.0.0.1";
  request.port = server.port();
  ASSERT_TRUE(exchange.send(request));
  ASSERT_TRUE(exchange.receive());
  std::string received;
  char piece[1000];
  std::size_t got = 0;
  while (exchange.read(piece, sizeof piece, got) && got > 0) received.append(piece, got);
  EXPECT_EQ(received, body);
  EXPECT_TRUE(exchange.read(piece, sizeof piece, got));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(exchange.data_available(), 0u);
  EXPECT_FALSE(exchange.send(request));  // one exchange per object
}

// Without a store no cookie is kept; with one, the next exchange on it sends what the last
// one was given.
TEST(Exchange, CookieStoreCarriesCookiesBetweenExchanges) {
  ScriptedServer server({{send(reply("200 OK", "", "Set-Cookie: sid=7; path=/\r\n"))}});
  pc::CookieStore store;
  ASSERT_TRUE(store.valid());
  const auto exchange_once = [&](pc::CookieStore* cookies) {
    pc::Exchange exchange;
    pc::ExchangeRequest request;
    request.host = "127.0.0.1";
    request.port = server.port();
    request.cookie_store = cookies;
    ASSERT_TRUE(exchange.send(request));
    ASSERT_TRUE(exchange.receive());
    while (exchange.data_available() > 0) {
      char sink[256];
      std::size_t got = 0;
      exchange.read(sink, sizeof sink, got);
    }
  };
  exchange_once(nullptr);
  exchange_once(nullptr);
  exchange_once(&store);
  exchange_once(&store);
  ASSERT_TRUE(server.wait_for_requests(4));
  const auto requests = server.requests();
  EXPECT_EQ(requests[1].header("Cookie"), "");
  EXPECT_EQ(requests[2].header("Cookie"), "");
  EXPECT_EQ(requests[3].header("Cookie"), "sid=7");
}

pc::ExchangeRequest request_to(const ScriptedServer& server) {
  pc::ExchangeRequest request;
  request.host = "127.0.0.1";
  request.port = server.port();
  request.timeouts.receive_ms = 2000;
  return request;
}

// The whole body, and whether it ended as a body ends (not with a failure).
std::pair<std::string, bool> read_all(pc::Exchange& exchange) {
  std::string body;
  char piece[256];
  std::size_t got = 0;
  while (exchange.read(piece, sizeof piece, got)) {
    if (got == 0) return {body, true};
    body.append(piece, got);
  }
  return {body, false};
}

// The engine's libcurl handles are reused on a thread; the connections are not. The server
// keeps each connection open for a next request, and still sees one connection per exchange.
TEST(Exchange, EachExchangeHasAConnectionOfItsOwn) {
  ScriptedServer server({{send(reply("200 OK", "same"))}});
  for (int i = 0; i < 3; ++i) {
    pc::Exchange exchange;
    ASSERT_TRUE(exchange.send(request_to(server)));
    ASSERT_TRUE(exchange.receive());
    EXPECT_EQ(read_all(exchange), std::make_pair(std::string("same"), true));
  }
  ASSERT_TRUE(server.wait_for_requests(3));
  const auto requests = server.requests();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(requests[i].connection, i + 1) << i;
}

// An exchange made while another is open on the same thread (as a handler dispatched during a
// request does) runs on its own: the outer body, arriving while the inner exchange waits for
// its answer, still ends as a body ends.
TEST(Exchange, InnerExchangeLeavesTheOuterOneWhole) {
  ScriptedServer outer_server(
      {{send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"), wait_ms(100), send("outer")}});
  ScriptedServer inner_server({{wait_ms(400), send(reply("200 OK", "inner"))}});
  pc::Exchange outer;
  ASSERT_TRUE(outer.send(request_to(outer_server)));
  ASSERT_TRUE(outer.receive());
  {
    pc::Exchange inner;
    ASSERT_TRUE(inner.send(request_to(inner_server)));
    ASSERT_TRUE(inner.receive());
    EXPECT_EQ(read_all(inner), std::make_pair(std::string("inner"), true));
  }
  EXPECT_EQ(read_all(outer), std::make_pair(std::string("outer"), true));
  EXPECT_EQ(outer.failure(), "");
}

}  // namespace
