// A stand-in for the account and payment server, for trying the client on one machine.
// Listens on 127.0.0.1 only; keeps everything in memory; answers in CP936.

#include <arpa/inet.h>
#include "tools/demo-server/http_library.h"
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "tools/demo-server/cp936.h"
#include "tools/demo-server/picture.h"
#include "tools/demo-server/store.h"

namespace demo {
namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kHtml = "text/html; charset=gbk";

constexpr const char* kUsage =
    "usage: demo-server [--account-port N] [--payment-port N]\n"
    "\n"
    "A demo account and payment server for trying the client. It listens on 127.0.0.1 only and\n"
    "keeps accounts and orders in memory until it ends (Ctrl+C).\n"
    "\n"
    "  --account-port N   sign-up, login and the channel pictures (default 8012)\n"
    "  --payment-port N   payment orders (default 999)\n"
    "  --help             show this text\n"
    "\n"
    "A port of 0 picks a free port. The first two lines on standard output name the ports\n"
    "in use, as \"account port N\" and \"payment port N\"; then one line per request follows.\n"
    "Ports below 1024 need root or the CAP_NET_BIND_SERVICE capability.\n";

struct Options {
  int account_port = 8012;
  int payment_port = 999;
};

enum class Parse { run, help, error };

Parse parse_options(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return Parse::help;
    int* target = arg == "--account-port"   ? &options->account_port
                  : arg == "--payment-port" ? &options->payment_port
                                            : nullptr;
    if (target == nullptr) {
      std::fprintf(stderr, "demo-server: unknown option '%s'\n", argv[i]);
      return Parse::error;
    }
    if (i + 1 == argc) {
      std::fprintf(stderr, "demo-server: %s needs a port number\n", argv[i]);
      return Parse::error;
    }
    const std::string_view value = argv[++i];
    int port = -1;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
    if (ec != std::errc() || end != value.data() + value.size() || port < 0 || port > 65535) {
      std::fprintf(stderr, "demo-server: %s: '%s' is not a port number (0 to 65535)\n", argv[i - 1],
                   argv[i]);
      return Parse::error;
    }
    *target = port;
  }
  return Parse::run;
}

// The reply texts as CP936 bytes, converted once at start-up.
struct Replies {
  std::string sign_up_ok;
  std::string sign_up_exists;
  std::string sign_up_empty;
  std::string login_ok;  // the success marker; the token follows it
  std::string wrong_password;
  std::string unknown_account;
  std::string server_error;
  std::string bad_sign;
  std::string bad_price;
  std::string order_page_head;  // ends with the amount marker; the price follows it
  std::string cancelled;
  std::string no_such_order;
};

std::optional<Replies> make_replies() {
  Replies r;
  const std::pair<std::string*, const char*> table[] = {
      {&r.sign_up_ok, "注册成功"},
      {&r.sign_up_exists, "账号已存在"},
      {&r.sign_up_empty, "账号和密码不能为空"},
      {&r.login_ok, "登陆成功|"},
      {&r.wrong_password, "密码错误"},
      {&r.unknown_account, "账号不存在"},
      {&r.server_error, "服务器错误，请稍后再试"},
      {&r.bad_sign, "登录已失效，请重新登录"},
      {&r.bad_price, "金额无效"},
      {&r.order_page_head,
       "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">"
       "<title>支付订单</title></head><body><p>请支付：<b>￥"},
      {&r.cancelled, "订单已取消"},
      {&r.no_such_order, "订单不存在"},
  };
  for (const auto& [field, utf8] : table) {
    std::optional<std::string> bytes = to_cp936(utf8);
    if (!bytes) return std::nullopt;
    *field = std::move(*bytes);
  }
  return r;
}

// Made-up payment addresses; the pictures are real QR codes of these texts.
const std::pair<const char*, const char*> kChannels[] = {
    {"alipay", "https://pay.example/demo/alipay"},
    {"weixin", "https://pay.example/demo/weixin"},
    {"qq", "https://pay.example/demo/qq"},
};

std::mutex log_mutex;

// One line per request: server, method, request target, status. Bytes outside printable
// ASCII are written as %XX so that no request can put control sequences on the terminal.
void log_request(const char* server, const httplib::Request& req, const httplib::Response& res) {
  std::string line;
  line.reserve(32 + req.method.size() + req.target.size());
  line.append(server).append(" ").append(req.method).append(" ");
  for (unsigned char c : req.target) {
    if (c >= 0x20 && c < 0x7F) {
      line.push_back(static_cast<char>(c));
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      line.push_back('%');
      line.push_back(kHex[c >> 4]);
      line.push_back(kHex[c & 0x0F]);
    }
  }
  line.append(" ").append(std::to_string(res.status)).append("\n");
  std::lock_guard lock(log_mutex);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

void serve_accounts(httplib::Server& server, Store& store, const Replies& replies,
                    const std::map<std::string, std::string>& pictures) {
  server.Get(R"(/zc\.jsp)", [&](const httplib::Request& req, httplib::Response& res) {
    switch (store.sign_up(req.get_param_value("uid"), req.get_param_value("pwd"))) {
      case Store::SignUp::created:
        return res.set_content(replies.sign_up_ok, kHtml);
      case Store::SignUp::exists:
        return res.set_content(replies.sign_up_exists, kHtml);
      case Store::SignUp::empty_value:
        return res.set_content(replies.sign_up_empty, kHtml);
    }
  });
  server.Get(R"(/lg\.jsp)", [&](const httplib::Request& req, httplib::Response& res) {
    std::string token;
    switch (store.login(req.get_param_value("uid"), req.get_param_value("pwd"), &token)) {
      case Store::Login::ok:
        return res.set_content(replies.login_ok + token, kHtml);
      case Store::Login::wrong_password:
        return res.set_content(replies.wrong_password, kHtml);
      case Store::Login::unknown_account:
        return res.set_content(replies.unknown_account, kHtml);
      case Store::Login::no_random:
        res.status = 500;
        return res.set_content(replies.server_error, kHtml);
    }
  });
  server.Get(R"(/images/(\w+)\.png)", [&](const httplib::Request& req, httplib::Response& res) {
    const auto it = pictures.find(req.matches[1].str());
    if (it == pictures.end()) {
      res.status = 404;
      return;
    }
    res.set_content(it->second, "image/png");
  });
}

void serve_payments(httplib::Server& server, Store& store, const Replies& replies) {
  server.Get(R"(/pay\.jsp)", [&](const httplib::Request& req, httplib::Response& res) {
    const std::string uid = req.get_param_value("uid");
    if (req.has_param("pay_id")) {
      const bool cancelled = store.cancel_order(uid, req.get_param_value("pay_id"));
      return res.set_content(cancelled ? replies.cancelled : replies.no_such_order, kHtml);
    }
    const std::string price = req.get_param_value("price");
    std::string order_id;
    switch (store.create_order(uid, req.get_param_value("sign"), price, &order_id)) {
      case Store::Order::bad_sign:
        return res.set_content(replies.bad_sign, kHtml);
      case Store::Order::bad_price:
        return res.set_content(replies.bad_price, kHtml);
      case Store::Order::created:
        break;
    }
    // The price is digits with an optional decimal point and the id digits only, so neither
    // needs escaping in HTML or JSON.
    std::string page;
    page.reserve(replies.order_page_head.size() + 128);
    page.append(replies.order_page_head)
        .append(price)
        .append("</b></p><script>var order = {\"pay_id\":\"")
        .append(order_id)
        .append("\",\"price\":\"")
        .append(price)
        .append("\"};</script></body></html>");
    res.set_content(page, kHtml);
  });
}

// Binds `server` to kHost:port (0: any free port); the port bound, or -1.
int bind_server(httplib::Server& server, int port) {
  if (port == 0) return server.bind_to_any_port(kHost);
  return server.bind_to_port(kHost, port) ? port : -1;
}

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Socket& operator=(Socket&&) = delete;

  int fd() const { return fd_; }

 private:
  int fd_;
};

// Tries the bind again with a plain socket to learn why it failed; 0 when it now succeeds.
int bind_error(int port) {
  const Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (socket.fd() < 0) return errno;
  const int yes = 1;
  ::setsockopt(socket.fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, kHost, &addr.sin_addr);
  return ::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 ? 0
                                                                                         : errno;
}

std::string own_path() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string("demo-server");
}

void explain_bind_failure(const char* role, const char* option, int port) {
  const int error = bind_error(port);
  std::fprintf(stderr, "demo-server: cannot listen on %s:%d (the %s port): %s\n", kHost, port, role,
               error != 0 ? std::strerror(error) : "reason unknown");
  if (error == EACCES && port < 1024) {
    std::fprintf(stderr,
                 "  Ports below 1024 need root or the CAP_NET_BIND_SERVICE capability. Grant it\n"
                 "  with:  sudo setcap cap_net_bind_service=+ep %s\n"
                 "  or choose a port above 1023 with %s N.\n",
                 own_path().c_str(), option);
  } else if (error == EADDRINUSE) {
    std::fprintf(stderr,
                 "  Another program (perhaps another demo-server) uses that port. End it, or\n"
                 "  choose another port with %s N.\n",
                 option);
  }
}

int run(const Options& options) {
  const std::optional<Replies> replies = make_replies();
  if (!replies) {
    std::fprintf(stderr, "demo-server: cannot convert the reply texts to CP936 (iconv)\n");
    return 1;
  }
  std::map<std::string, std::string> pictures;
  for (const auto& [channel, address] : kChannels) {
    std::optional<std::string> png = qr_png(address);
    if (!png) {
      std::fprintf(stderr, "demo-server: cannot make the QR picture for %s\n", channel);
      return 1;
    }
    pictures.emplace(channel, std::move(*png));
  }

  // Signals are taken by sigwait below; every thread started from here on inherits the mask.
  // SIGUSR1 reports a listener that ended by itself.
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  Store store;
  httplib::Server accounts;
  httplib::Server payments;
  serve_accounts(accounts, store, *replies, pictures);
  serve_payments(payments, store, *replies);
  accounts.set_logger([](const httplib::Request& req, const httplib::Response& res) {
    log_request("account", req, res);
  });
  payments.set_logger([](const httplib::Request& req, const httplib::Response& res) {
    log_request("payment", req, res);
  });

  const int account_port = bind_server(accounts, options.account_port);
  if (account_port < 0) {
    explain_bind_failure("account", "--account-port", options.account_port);
    return 1;
  }
  const int payment_port = bind_server(payments, options.payment_port);
  if (payment_port < 0) {
    explain_bind_failure("payment", "--payment-port", options.payment_port);
    return 1;
  }
  {
    std::lock_guard lock(log_mutex);
    std::printf("account port %d\npayment port %d\nlistening on %s; Ctrl+C ends the server\n",
                account_port, payment_port, kHost);
    std::fflush(stdout);
  }

  // httplib's stop() ends only a server whose listen loop already runs, so the signal is taken
  // once each server runs or has ended by itself.
  std::atomic<bool> stopping = false;
  std::atomic<bool> account_ended = false;
  std::atomic<bool> payment_ended = false;
  auto listen = [&stopping](httplib::Server* server, std::atomic<bool>* ended) {
    server->listen_after_bind();
    *ended = true;
    if (!stopping) ::kill(::getpid(), SIGUSR1);
  };
  std::thread account_thread(listen, &accounts, &account_ended);
  std::thread payment_thread(listen, &payments, &payment_ended);
  while (!(accounts.is_running() || account_ended) || !(payments.is_running() || payment_ended)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  int signal_number = 0;
  sigwait(&signals, &signal_number);
  stopping = true;
  accounts.stop();
  payments.stop();
  account_thread.join();
  payment_thread.join();

  if (signal_number == SIGUSR1) {
    std::fprintf(stderr, "demo-server: a listener stopped unexpectedly\n");
    return 1;
  }
  std::lock_guard lock(log_mutex);
  std::printf("demo-server ended\n");
  std::fflush(stdout);
  return 0;
}

}  // namespace
}  // namespace demo

int main(int argc, char** argv) {
  demo::Options options;
  switch (demo::parse_options(argc, argv, &options)) {
    case demo::Parse::help:
      std::fputs(demo::kUsage, stdout);
      return 0;
    case demo::Parse::error:
      std::fputs(demo::kUsage, stderr);
      return 2;
    case demo::Parse::run:
      break;
  }
  return demo::run(options);
}
