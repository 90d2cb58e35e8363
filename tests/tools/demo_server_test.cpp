// Starts the demo server as a child process on ephemeral loopback ports and talks to it over
// HTTP, the way the client does: query values percent-encoded, replies read as CP936 bytes.

#include <arpa/inet.h>
#include "tools/demo-server/http_library.h"
#include <iconv.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/demo_server_process.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using test_support::Collector;
using test_support::kPatience;
using test_support::ServerProcess;

// CP936 bytes of a UTF-8 literal.
std::string gbk(const std::string& utf8) {
  const iconv_t handle = iconv_open("CP936", "UTF-8");
  if (handle == reinterpret_cast<iconv_t>(-1)) {
    ADD_FAILURE() << "iconv lacks CP936";
    return {};
  }
  const std::unique_ptr<void, int (*)(iconv_t)> owner(handle, iconv_close);
  std::string out(utf8.size(), '\0');  // CP936 never needs more bytes than UTF-8
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* o = out.data();
  size_t out_left = out.size();
  if (iconv(handle, &in, &in_left, &o, &out_left) == static_cast<size_t>(-1)) {
    ADD_FAILURE() << "cannot convert " << utf8;
    return {};
  }
  out.resize(out.size() - out_left);
  return out;
}

struct Reply {
  int status = 0;  // 0: no response
  std::string content_type;
  std::string body;
};

// Sends `target` as it stands: it is already percent-encoded where the test wants that.
Reply get(int port, const std::string& target) {
  httplib::Client client("127.0.0.1", port);
  client.set_url_encode(false);
  const httplib::Result result = client.Get(target);
  if (!result) return {};
  return {result->status, result->get_header_value("Content-Type"), result->body};
}

std::string body_of(int port, const std::string& target) {
  return get(port, target).body;
}

// The text between the first `left` and the next `right`, as the client cuts it; empty if either
// marker is missing.
std::string between(const std::string& text, const std::string& left, const std::string& right) {
  const size_t start = text.find(left);
  if (start == std::string::npos) return {};
  const size_t from = start + left.size();
  const size_t end = text.find(right, from);
  return end == std::string::npos ? std::string() : text.substr(from, end - from);
}

const std::string kPayIdKey = "\"pay_id\":\"";

class DemoServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new ServerProcess({"--account-port", "0", "--payment-port", "0"});
    if (!server_->started() || !server_->read_ports()) {
      delete server_;
      server_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(server_, nullptr) << "the demo server did not start"; }

  static std::string account(const std::string& target) {
    return body_of(server_->account_port, target);
  }
  static std::string payment(const std::string& target) {
    return body_of(server_->payment_port, target);
  }
  // Signs up and logs in; the token, or empty.
  static std::string logged_in(const std::string& uid, const std::string& pwd) {
    account("/zc.jsp?uid=" + uid + "&pwd=" + pwd);
    const std::string reply = account("/lg.jsp?uid=" + uid + "&pwd=" + pwd);
    const std::string marker = gbk("登陆成功|");
    return reply.rfind(marker, 0) == 0 ? reply.substr(marker.size()) : std::string();
  }

  static inline ServerProcess* server_ = nullptr;
};

TEST_F(DemoServerTest, SignUpAndLoginReplies) {
  struct Row {
    const char* name;
    const char* target;
    const char* reply;
  };
  // In order: later rows depend on the account made by the first.
  const Row rows[] = {
      {"new account", "/zc.jsp?uid=alice&pwd=secret", "注册成功"},
      {"existing account", "/zc.jsp?uid=alice&pwd=other", "账号已存在"},
      {"empty name", "/zc.jsp?uid=&pwd=secret", "账号和密码不能为空"},
      {"empty password", "/zc.jsp?uid=carol&pwd=", "账号和密码不能为空"},
      {"no values at all", "/zc.jsp", "账号和密码不能为空"},
      {"wrong password", "/lg.jsp?uid=alice&pwd=other", "密码错误"},
      {"unknown account", "/lg.jsp?uid=nobody&pwd=secret", "账号不存在"},
      {"empty name at login", "/lg.jsp?uid=&pwd=", "账号不存在"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Reply reply = get(server_->account_port, row.target);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.content_type, "text/html; charset=gbk");
    EXPECT_EQ(reply.body, gbk(row.reply));
  }

  // Success is the marker and a hex token, nothing else; each login makes a new token.
  const std::string marker = gbk("登陆成功|");
  const std::regex hex_token("[0-9a-f]{32}");
  std::set<std::string> tokens;
  for (int i = 0; i < 2; ++i) {
    const std::string reply = account("/lg.jsp?uid=alice&pwd=secret");
    ASSERT_EQ(reply.substr(0, marker.size()), marker);
    const std::string token = reply.substr(marker.size());
    EXPECT_TRUE(std::regex_match(token, hex_token)) << token;
    tokens.insert(token);
  }
  EXPECT_EQ(tokens.size(), 2u);
}

TEST_F(DemoServerTest, AccountNamesArePercentDecodedBytes) {
  struct Row {
    const char* name;
    const char* uid;            // as sent at sign-up
    const char* same_account;   // another spelling of the same bytes
    const char* other_account;  // bytes that must name a different account
  };
  const Row rows[] = {
      {"ampersand and blank", "a%26b%20c", "a%26b+c", "a"},
      {"plus sign", "p%2Bq", "p%2bq", "p%20q"},
      {"GBK with a bar as trail byte", "%D5%C5%81%7C", "%d5%c5%81%7c", "%D5%C5"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string uid = row.uid;
    EXPECT_EQ(account("/zc.jsp?uid=" + uid + "&pwd=pw"), gbk("注册成功"));
    EXPECT_EQ(account("/zc.jsp?uid=" + std::string(row.same_account) + "&pwd=pw"),
              gbk("账号已存在"));
    EXPECT_EQ(account("/lg.jsp?uid=" + std::string(row.same_account) + "&pwd=pw")
                  .rfind(gbk("登陆成功|"), 0),
              0u);
    EXPECT_EQ(account("/lg.jsp?uid=" + std::string(row.other_account) + "&pwd=pw"),
              gbk("账号不存在"));
  }
}

TEST_F(DemoServerTest, OrderWithTheCurrentTokenCarriesAmountAndId) {
  const std::string token = logged_in("buyer", "pw");
  ASSERT_FALSE(token.empty());

  const Reply reply = get(server_->payment_port, "/pay.jsp?uid=buyer&price=5&sign=" + token);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.content_type, "text/html; charset=gbk");
  EXPECT_EQ(between(reply.body, gbk("<b>￥"), "</b>"), "5");
  const std::string id = between(reply.body, kPayIdKey, "\"");
  EXPECT_TRUE(std::regex_match(id, std::regex("[0-9]{18,}"))) << id;

  const std::string again = payment("/pay.jsp?uid=buyer&price=12.50&sign=" + token);
  EXPECT_EQ(between(again, gbk("<b>￥"), "</b>"), "12.50");
  const std::string second_id = between(again, kPayIdKey, "\"");
  EXPECT_FALSE(second_id.empty());
  EXPECT_NE(second_id, id);
}

TEST_F(DemoServerTest, OrderWithoutTheCurrentTokenCarriesNoMarkers) {
  const std::string stale = logged_in("payer", "pw");
  const std::string token = logged_in("payer", "pw");  // replaces the first token
  const std::string other = logged_in("stranger", "pw");
  ASSERT_FALSE(stale.empty());
  ASSERT_FALSE(token.empty());
  ASSERT_FALSE(other.empty());
  ASSERT_NE(stale, token);
  logged_in("fresh", "pw");
  account("/zc.jsp?uid=never&pwd=pw");  // an account that never logged in

  struct Row {
    const char* name;
    std::string query;
    const char* reply;
  };
  const Row rows[] = {
      {"wrong sign", "uid=payer&price=5&sign=0123456789abcdef0123456789abcdef",
       "登录已失效，请重新登录"},
      {"empty sign", "uid=payer&price=5&sign=", "登录已失效，请重新登录"},
      {"no sign", "uid=payer&price=5", "登录已失效，请重新登录"},
      {"replaced token", "uid=payer&price=5&sign=" + stale, "登录已失效，请重新登录"},
      {"another account's token", "uid=payer&price=5&sign=" + other, "登录已失效，请重新登录"},
      {"unknown account", "uid=ghost&price=5&sign=" + token, "登录已失效，请重新登录"},
      {"account never logged in, empty sign", "uid=never&price=5&sign=", "登录已失效，请重新登录"},
      {"price not a number", "uid=payer&price=%3Cb%3E&sign=" + token, "金额无效"},
      {"zero price", "uid=payer&price=0.00&sign=" + token, "金额无效"},
      {"empty price", "uid=payer&price=&sign=" + token, "金额无效"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string body = payment("/pay.jsp?" + row.query);
    EXPECT_EQ(body, gbk(row.reply));
    EXPECT_EQ(body.find(gbk("<b>￥")), std::string::npos);
    EXPECT_EQ(body.find("pay_id"), std::string::npos);
  }
  // The current token still works after all that.
  EXPECT_FALSE(
      between(payment("/pay.jsp?uid=payer&price=5&sign=" + token), kPayIdKey, "\"").empty());
}

TEST_F(DemoServerTest, CancelsOnlyTheAccountsOwnOpenOrder) {
  const std::string token = logged_in("canceller", "pw");
  ASSERT_FALSE(token.empty());
  const std::string id =
      between(payment("/pay.jsp?uid=canceller&price=20&sign=" + token), kPayIdKey, "\"");
  ASSERT_FALSE(id.empty());

  EXPECT_EQ(payment("/pay.jsp?uid=someone&pay_id=" + id), gbk("订单不存在"));
  EXPECT_EQ(payment("/pay.jsp?uid=canceller&pay_id=unknown"), gbk("订单不存在"));
  EXPECT_EQ(payment("/pay.jsp?uid=canceller&pay_id="), gbk("订单不存在"));
  EXPECT_EQ(payment("/pay.jsp?uid=canceller&pay_id=" + id), gbk("订单已取消"));
  EXPECT_EQ(payment("/pay.jsp?uid=canceller&pay_id=" + id), gbk("订单不存在"));
}

TEST_F(DemoServerTest, ServesThreeQrPicturesAsPng) {
  const std::string signature("\x89PNG\r\n\x1a\n", 8);
  std::set<std::string> bodies;
  for (const char* path : {"/images/alipay.png", "/images/weixin.png", "/images/qq.png"}) {
    SCOPED_TRACE(path);
    const Reply reply = get(server_->account_port, path);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.content_type, "image/png");
    ASSERT_GT(reply.body.size(), 24u);
    EXPECT_EQ(reply.body.substr(0, 8), signature);
    // The first chunk is IHDR: big-endian width and height follow its type.
    ASSERT_EQ(reply.body.substr(12, 4), "IHDR");
    auto be32 = [&](size_t at) {
      const auto* p = reinterpret_cast<const unsigned char*>(reply.body.data() + at);
      return (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    };
    EXPECT_EQ(be32(16), be32(20));
    EXPECT_GE(be32(16), 150);
    EXPECT_LE(be32(16), 180);
    bodies.insert(reply.body);
  }
  EXPECT_EQ(bodies.size(), 3u) << "each channel has its own code";

  EXPECT_EQ(get(server_->account_port, "/images/other.png").status, 404);
  EXPECT_EQ(get(server_->payment_port, "/images/qq.png").status, 404);
}

TEST_F(DemoServerTest, LogsEachRequestWithBytesOutsideAsciiEscaped) {
  // Raw GBK bytes in the query, as a client that does not encode would send them.
  EXPECT_EQ(account("/zc.jsp?uid=\xD5\xC5log&pwd=x"), gbk("注册成功"));
  EXPECT_EQ(get(server_->payment_port, "/nothing?a=1").status, 404);
  EXPECT_TRUE(
      server_->out().wait_for(std::regex("\naccount GET /zc\\.jsp\\?uid=%D5%C5log&pwd=x 200\n")))
      << server_->out().text();
  EXPECT_TRUE(server_->out().wait_for(std::regex("\npayment GET /nothing\\?a=1 404\n")))
      << server_->out().text();
}

TEST_F(DemoServerTest, ParallelRequestsKeepAccountsAndOrdersConsistent) {
  constexpr int kThreads = 4;
  constexpr int kOrdersPerThread = 20;
  std::vector<std::string> sign_ups(kThreads);
  std::vector<std::vector<std::string>> ids(kThreads);
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] { sign_ups[t] = account("/zc.jsp?uid=crowd&pwd=pw"); });
    }
  }
  int created = 0;
  for (const std::string& reply : sign_ups) created += reply == gbk("注册成功") ? 1 : 0;
  EXPECT_EQ(created, 1);

  const std::string token = logged_in("crowd", "pw");
  ASSERT_FALSE(token.empty());
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < kOrdersPerThread; ++i) {
          ids[t].push_back(
              between(payment("/pay.jsp?uid=crowd&price=5&sign=" + token), kPayIdKey, "\""));
        }
      });
    }
  }
  std::set<std::string> unique;
  for (const auto& list : ids) {
    for (const std::string& id : list) {
      EXPECT_FALSE(id.empty());
      unique.insert(id);
    }
  }
  EXPECT_EQ(unique.size(), static_cast<size_t>(kThreads * kOrdersPerThread));
}

TEST(DemoServerProcess, EndsCleanlyOnInterruptAndTerminate) {
  for (int number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(number));
    ServerProcess server({"--account-port", "0", "--payment-port", "0"});
    ASSERT_TRUE(server.started());
    ASSERT_TRUE(server.read_ports()) << server.err().text();
    server.signal(number);
    EXPECT_EQ(server.wait_exit(), 0);
  }
}

// A socket listening on an ephemeral loopback port, to make that port busy.
class BusyPort {
 public:
  BusyPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::listen(fd_, 1) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
      port_ = ntohs(addr.sin_port);
    }
  }
  ~BusyPort() {
    if (fd_ >= 0) ::close(fd_);
  }
  BusyPort(const BusyPort&) = delete;
  BusyPort& operator=(const BusyPort&) = delete;

  std::string port() const { return std::to_string(port_); }

 private:
  int fd_;
  int port_ = 0;
};

TEST(DemoServerProcess, ExplainsWhyItCannotStart) {
  BusyPort busy;
  ASSERT_NE(busy.port(), "0");
  struct Row {
    const char* name;
    std::vector<std::string> args;
    int exit_code;
    std::vector<std::string> in_stderr;
  };
  const Row rows[] = {
      {"account port in use",
       {"--account-port", busy.port(), "--payment-port", "0"},
       1,
       {"127.0.0.1:" + busy.port(), "account port", "in use", "--account-port"}},
      {"payment port in use",
       {"--account-port", "0", "--payment-port", busy.port()},
       1,
       {"127.0.0.1:" + busy.port(), "payment port", "in use", "--payment-port"}},
      {"port out of range", {"--payment-port", "70000"}, 2, {"70000", "usage:"}},
      {"port not a number", {"--account-port", "80x"}, 2, {"80x", "usage:"}},
      {"port missing", {"--account-port"}, 2, {"--account-port", "usage:"}},
      {"unknown option", {"--port", "5"}, 2, {"--port", "usage:"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ServerProcess server(row.args);
    ASSERT_TRUE(server.started());
    EXPECT_EQ(server.wait_exit(), row.exit_code);
    const std::string err = server.err().all();
    for (const std::string& text : row.in_stderr) {
      EXPECT_NE(err.find(text), std::string::npos) << "missing '" << text << "' in:\n" << err;
    }
  }
}

TEST(DemoServerProcess, HelpNamesTheOptions) {
  ServerProcess server({"--help"});
  ASSERT_TRUE(server.started());
  EXPECT_EQ(server.wait_exit(), 0);
  const std::string out = server.out().all();
  EXPECT_NE(out.find("--account-port N"), std::string::npos) << out;
  EXPECT_NE(out.find("--payment-port N"), std::string::npos) << out;
}

}  // namespace
