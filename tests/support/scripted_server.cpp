#include "tests/support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace test_support {
namespace {

constexpr int kPollMs = 20;  // how soon a blocked thread notices that the server ends

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_case_blind(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

// The position of the header line named `name` in `headers` and its length with CR LF;
// npos when there is none.
std::pair<std::size_t, std::size_t> find_header(std::string_view headers, std::string_view name) {
  for (std::size_t at = 0; at < headers.size();) {
    std::size_t end = headers.find("\r\n", at);
    if (end == std::string_view::npos) end = headers.size();
    const std::string_view line = headers.substr(at, end - at);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && equal_case_blind(line.substr(0, colon), name)) {
      return {at, std::min(end + 2, headers.size()) - at};
    }
    at = end + 2;
  }
  return {std::string_view::npos, 0};
}

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int bound_socket() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in address = loopback(0);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    throw std::runtime_error("bind");
  }
  return fd;
}

int port_of(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

}  // namespace

Action send(std::string bytes) {
  return {Action::Kind::send, std::move(bytes), 0};
}
Action wait_ms(int ms) {
  return {Action::Kind::wait, {}, ms};
}
Action drip(std::string bytes, int ms_per_byte) {
  return {Action::Kind::drip, std::move(bytes), ms_per_byte};
}
Action close_connection() {
  return {Action::Kind::close, {}, 0};
}
Action stay_silent() {
  return {Action::Kind::silent, {}, 0};
}

std::string reply(std::string_view status, std::string_view body, std::string_view extra_headers) {
  std::string out = "HTTP/1.1 ";
  out.append(status).append("\r\n").append(extra_headers);
  out.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n\r\n");
  out.append(body);
  return out;
}

std::string RecordedRequest::headers_without(std::string_view name) const {
  const auto [at, length] = find_header(headers, name);
  if (at == std::string_view::npos) return headers;
  std::string out = headers;
  out.erase(at, length);
  return out;
}

std::string RecordedRequest::header(std::string_view name) const {
  const auto [at, length] = find_header(headers, name);
  if (at == std::string_view::npos) return {};
  std::string_view line = std::string_view(headers).substr(at, length);
  line.remove_suffix(2);
  line.remove_prefix(line.find(':') + 1);
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  return std::string(line);
}

struct ScriptedServer::State {
  std::vector<Script> scripts;
  int listen_fd = -1;
  int port = 0;
  std::atomic<bool> stopping{false};

  mutable std::mutex mutex;
  // A connection was accepted, a request recorded, or the server ends.
  mutable std::condition_variable changed;
  std::vector<RecordedRequest> recorded;
  int accepted = 0;

  struct Connection {
    std::thread thread;
    std::atomic<bool> done{false};
  };
  std::list<Connection> connections;  // touched by the accepting thread and the destructor
  std::thread acceptor;

  // Waits `ms`; false when the server ends first.
  bool pause(int ms) {
    std::unique_lock lock(mutex);
    return !changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping.load(); });
  }

  // Waits until `fd` is readable; false when the server ends first.
  bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    while (!stopping) {
      if (::poll(&p, 1, kPollMs) > 0) return true;
    }
    return false;
  }

  bool send_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // Reads one request from `fd` (bytes left over from the last one in `pending`) and records
  // it; the number of the request (0-based), or -1 when the connection or the server ends.
  int read_request(int fd, int connection, std::string& pending) {
    std::size_t header_end;
    char chunk[16384];
    const auto fill = [&] {
      if (!readable(fd)) return false;
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      pending.append(chunk, static_cast<std::size_t>(n));
      return true;
    };
    while ((header_end = pending.find("\r\n\r\n")) == std::string::npos) {
      if (!fill()) return -1;
    }
    RecordedRequest request;
    request.connection = connection;
    const std::size_t line_end = pending.find("\r\n");
    request.request_line = pending.substr(0, line_end);
    request.headers = pending.substr(line_end + 2, header_end + 2 - (line_end + 2));
    const std::size_t length = std::strtoul(request.header("Content-Length").c_str(), nullptr, 10);
    while (pending.size() < header_end + 4 + length) {
      if (!fill()) return -1;
    }
    request.body = pending.substr(header_end + 4, length);
    pending.erase(0, header_end + 4 + length);
    std::lock_guard lock(mutex);
    recorded.push_back(std::move(request));
    changed.notify_all();
    return static_cast<int>(recorded.size()) - 1;
  }

  void serve(int fd, int connection) {
    std::string pending;
    bool open = true;
    while (open) {
      const int index = read_request(fd, connection, pending);
      if (index < 0 || scripts.empty()) break;
      const Script& script = scripts[std::min<std::size_t>(index, scripts.size() - 1)];
      for (const Action& action : script) {
        switch (action.kind) {
          case Action::Kind::send:
            open = send_all(fd, action.bytes);
            break;
          case Action::Kind::wait:
            open = pause(action.ms);
            break;
          case Action::Kind::drip:
            for (char byte : action.bytes) {
              if (!(open = pause(action.ms) && send_all(fd, std::string_view(&byte, 1)))) break;
            }
            break;
          case Action::Kind::close:
            open = false;
            break;
          case Action::Kind::silent:
            // Until the client hangs up (readable at end of file) or the server ends.
            while (readable(fd)) {
              char sink[4096];
              if (::recv(fd, sink, sizeof sink, 0) <= 0) break;
            }
            open = false;
            break;
        }
        if (!open) break;
      }
    }
    ::close(fd);
  }

  void accept_loop() {
    while (readable(listen_fd)) {
      const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      connections.remove_if([](Connection& c) {
        if (!c.done) return false;
        c.thread.join();
        return true;
      });
      int number;
      {
        std::lock_guard lock(mutex);
        number = ++accepted;
      }
      changed.notify_all();
      Connection& c = connections.emplace_back();
      c.thread = std::thread([this, fd, number, &c] {
        serve(fd, number);
        c.done = true;
      });
    }
  }
};

ScriptedServer::ScriptedServer(std::vector<Script> scripts) : state_(std::make_shared<State>()) {
  state_->scripts = std::move(scripts);
  state_->listen_fd = bound_socket();
  ::listen(state_->listen_fd, 128);
  state_->port = port_of(state_->listen_fd);
  state_->acceptor = std::thread([s = state_.get()] { s->accept_loop(); });
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->changed.notify_all();
  state_->acceptor.join();
  for (auto& c : state_->connections) c.thread.join();
  ::close(state_->listen_fd);
}

int ScriptedServer::port() const {
  return state_->port;
}

std::string ScriptedServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + std::string(path);
}

bool ScriptedServer::wait_for_requests(int n, std::chrono::milliseconds limit) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, limit,
                                  [&] { return static_cast<int>(state_->recorded.size()) >= n; });
}

bool ScriptedServer::wait_for_connections(int n, std::chrono::milliseconds limit) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, limit, [&] { return state_->accepted >= n; });
}

std::vector<RecordedRequest> ScriptedServer::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->recorded;
}

int ScriptedServer::connections() const {
  std::lock_guard lock(state_->mutex);
  return state_->accepted;
}

RefusingPort::RefusingPort() : fd_(bound_socket()), port_(port_of(fd_)) {}

RefusingPort::~RefusingPort() {
  ::close(fd_);
}

}  // namespace test_support
