// The bundled demo server as a child process on ephemeral loopback ports, for tests that talk
// to the real server. Needs DEMO_SERVER_PATH (link the demo_server_for_tests target).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/demo-server/http_library.h"

extern char** environ;

namespace test_support {

inline constexpr std::chrono::seconds kPatience{10};  // a hang check, not a speed limit

// Collects everything a file descriptor delivers until end of file, on its own thread.
class Collector {
 public:
  explicit Collector(int fd) : fd_(fd), thread_([this] { run(); }) {}
  ~Collector() {
    thread_.join();
    ::close(fd_);
  }
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;

  std::string text() const {
    std::lock_guard lock(mutex_);
    return text_;
  }

  // Everything, once the writer has closed its end; what came so far on timeout.
  std::string all() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kPatience, [&] { return closed_; });
    return text_;
  }

  // Waits until `pattern` matches part of the collected text; the match and its groups, or
  // empty on timeout.
  std::optional<std::vector<std::string>> wait_for(const std::regex& pattern) {
    std::unique_lock lock(mutex_);
    std::smatch match;
    if (!changed_.wait_for(lock, kPatience,
                           [&] { return std::regex_search(text_, match, pattern); })) {
      return std::nullopt;
    }
    return std::vector<std::string>(match.begin(), match.end());
  }

 private:
  void run() {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      std::lock_guard lock(mutex_);
      text_.append(buffer, static_cast<size_t>(n));
      changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

  int fd_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
  bool closed_ = false;
  std::thread thread_;
};

class ServerProcess {
 public:
  explicit ServerProcess(std::vector<std::string> args) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    if (::pipe2(err, O_CLOEXEC) != 0) {
      ::close(out[0]);
      ::close(out[1]);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    args.insert(args.begin(), DEMO_SERVER_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, DEMO_SERVER_PATH, &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    out_ = std::make_unique<Collector>(out[0]);
    err_ = std::make_unique<Collector>(err[0]);
  }

  ~ServerProcess() {
    if (pid_ > 0 && !exit_code_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool started() const { return pid_ > 0; }

  // Reads the two ports from the first lines of standard output; false on timeout.
  bool read_ports() {
    const auto match = out_->wait_for(std::regex("^account port (\\d+)\npayment port (\\d+)\n"));
    if (!match) return false;
    account_port = std::stoi((*match)[1]);
    payment_port = std::stoi((*match)[2]);
    return true;
  }

  void signal(int number) { ::kill(pid_, number); }

  // The exit code once the process has ended; empty on timeout or death by a signal.
  std::optional<int> wait_exit() {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    int status = 0;
    for (;;) {
      const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
      if (reaped == pid_) break;
      if (reaped < 0 && errno != EINTR) return std::nullopt;
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (*exit_code_ < 0) return std::nullopt;
    return exit_code_;
  }

  Collector& out() { return *out_; }
  Collector& err() { return *err_; }

  int account_port = 0;
  int payment_port = 0;

 private:
  pid_t pid_ = -1;
  std::optional<int> exit_code_;
  std::unique_ptr<Collector> out_;
  std::unique_ptr<Collector> err_;
};

}  // namespace test_support
