// The WinINet-style operations under wininet_request where the request function does not
// reach them: proxy lists and bypass lists, refused header blocks, the two-call header query,
// and redirects that change the scheme.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/wininet/wininet.h"
#include "tests/support/scripted_server.h"

namespace {

using namespace test_support;
namespace wi = platform::wininet;

constexpr std::uint32_t kPlainFlags = wi::kFlagReload | wi::kFlagNeedFile;

// A loopback port that accepts connections and closes them at once, counting them.
class AcceptAndClose {
 public:
  AcceptAndClose() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 8);
    socklen_t size = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      pollfd p{fd_, POLLIN, 0};
      while (!stopping_) {
        if (::poll(&p, 1, 20) > 0) {
          const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
          if (client >= 0) {
            ++accepted_;
            ::close(client);
          }
        }
      }
    });
  }
  ~AcceptAndClose() {
    stopping_ = true;
    thread_.join();
    ::close(fd_);
  }
  int port() const { return port_; }
  int accepted() const { return accepted_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

// Which of two servers a plain http request reaches, for each proxy list and bypass list.
TEST(WinInetSession, ProxyAndBypassLists) {
  struct Row {
    const char* name;
    std::string proxy_name;  // "<proxy>" stands for the proxy's host:port
    std::string bypass;
    bool through_proxy;
  };
  const Row rows[] = {
      {"http entry", "http=<proxy>", "", true},
      {"entry for every scheme", "<proxy>", "", true},
      {"https entry only: http goes direct", "https=<proxy>", "", false},
      {"the http entry among others", "https=127.0.0.1:1; http=<proxy>", "", true},
      {"bypassed by name", "<proxy>", "example.com;127.0.0.1", false},
      {"bypassed by pattern", "<proxy>", "*.example.com, 127.*", false},
      {"<local> is a host without dots", "<proxy>", "<local>", true},
      {"a pattern that does not match", "<proxy>", "127.1.*", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer proxy({{send(reply("200 OK"))}});
    ScriptedServer target({{send(reply("200 OK"))}});
    std::string proxy_name = row.proxy_name;
    proxy_name.replace(proxy_name.find("<proxy>"), 7, "127.0.0.1:" + std::to_string(proxy.port()));
    auto session = wi::open_session("agent", wi::Access::proxy, proxy_name, row.bypass);
    ASSERT_TRUE(session);
    auto connection = wi::connect(*session, "127.0.0.1", target.port());
    ASSERT_TRUE(connection);
    auto request = wi::open_request(*connection, "GET", "/", "HTTP/1.1", kPlainFlags);
    ASSERT_TRUE(request);
    EXPECT_TRUE(wi::send_request(*request, "", ""));
    EXPECT_EQ(proxy.requests().size(), row.through_proxy ? 1u : 0u);
    EXPECT_EQ(target.requests().size(), row.through_proxy ? 0u : 1u);
  }
  EXPECT_FALSE(wi::open_session("agent", wi::Access::proxy, " ; ", ""));
}

// A block that cannot go on the wire as it is sends nothing.
TEST(WinInetRequest, RefusedHeaderBlocks) {
  const char* blocks[] = {
      "X-A: 1\nX-B: 2",      // a lone LF
      "X-A: 1\rX-B: 2",      // a lone CR
      "X-A: 1\r\nno colon",  // a line without a name
      ": value",             // an empty name
      "X A: 1",              // a blank in the name
  };
  ScriptedServer server({{send(reply("200 OK"))}});
  auto session = wi::open_session("agent", wi::Access::direct);
  auto connection = wi::connect(*session, "127.0.0.1", server.port());
  for (const char* block : blocks) {
    SCOPED_TRACE(block);
    auto request = wi::open_request(*connection, "GET", "/", "HTTP/1.1", kPlainFlags);
    EXPECT_FALSE(wi::send_request(*request, block, ""));
    std::uint32_t read = 1;
    char buffer[8];
    EXPECT_FALSE(wi::read_file(*request, buffer, sizeof buffer, read));
    EXPECT_EQ(read, 0u);
  }
  EXPECT_EQ(server.connections(), 0);
}

TEST(WinInetRequest, RawHeadersTwoCallQuery) {
  ScriptedServer server({{send(reply("200 OK", "body", "X-A: 1\r\n"))}});
  const std::string expected = "HTTP/1.1 200 OK\r\nX-A: 1\r\nContent-Length: 4\r\n\r\n";
  auto session = wi::open_session("agent", wi::Access::direct);
  auto connection = wi::connect(*session, "127.0.0.1", server.port());
  auto request = wi::open_request(*connection, "GET", "/", "HTTP/1.1", kPlainFlags);

  std::uint32_t size = 100;
  EXPECT_FALSE(wi::query_raw_headers(*request, nullptr, size));
  EXPECT_EQ(size, 0u);  // nothing sent yet

  ASSERT_TRUE(wi::send_request(*request, "", ""));
  EXPECT_FALSE(wi::query_raw_headers(*request, nullptr, size));
  EXPECT_EQ(size, expected.size() + 1);
  std::string buffer(size, 'x');
  size -= 1;  // one byte short: the size is reported again
  EXPECT_FALSE(wi::query_raw_headers(*request, buffer.data(), size));
  EXPECT_EQ(size, expected.size() + 1);
  EXPECT_TRUE(wi::query_raw_headers(*request, buffer.data(), size));
  EXPECT_EQ(size, expected.size());
  EXPECT_EQ(buffer, expected + '\0');
}

// From http, a redirect may lead to https only with kFlagIgnoreRedirectToHttps. The https
// side accepts and hangs up, so the send fails either way: what counts is whether it was tried.
TEST(WinInetRequest, RedirectToHttpsOnlyWhenAllowed) {
  struct Row {
    const char* name;
    std::uint32_t flags;
    int https_connections;
  };
  const Row rows[] = {
      {"allowed", kPlainFlags | wi::kFlagIgnoreRedirectToHttps, 1},
      {"refused", kPlainFlags, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AcceptAndClose https_side;
    const std::string location = "https://127.0.0.1:" + std::to_string(https_side.port()) + "/";
    ScriptedServer server({{send(reply("302 Found", "", "Location: " + location + "\r\n"))}});
    auto session = wi::open_session("agent", wi::Access::direct);
    auto connection = wi::connect(*session, "127.0.0.1", server.port());
    auto request = wi::open_request(*connection, "GET", "/", "HTTP/1.1", row.flags);
    EXPECT_FALSE(wi::send_request(*request, "", ""));
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(https_side.accepted(), row.https_connections);
  }
}

TEST(WinInetRequest, RefusedOpenings) {
  auto session = wi::open_session("agent", wi::Access::direct);
  EXPECT_FALSE(wi::connect(*session, "", 80));
  EXPECT_FALSE(wi::connect(*session, "h", -1));
  EXPECT_FALSE(wi::connect(*session, "h", 65536));
  auto connection = wi::connect(*session, "h", 0);
  ASSERT_TRUE(connection);
  EXPECT_FALSE(wi::open_request(*connection, "GET", "/", "HTTP/1.0", kPlainFlags));
  EXPECT_FALSE(wi::open_request(*connection, "G T", "/", "HTTP/1.1", kPlainFlags));
  EXPECT_TRUE(wi::open_request(*connection, "", "/", "", kPlainFlags));
}

}  // namespace
