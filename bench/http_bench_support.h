// What the request benchmarks share: a loopback server that answers every connection with one
// response, the bare libcurl baseline (one easy handle per request), the peak-memory
// measurement in a forked child, and the three comparisons against the baseline:
// - 1,000 small GETs per client and iteration, in blocks of 50 that alternate between the two
//   clients: the ratio of the median block times (a burst of load on the shared machine spoils
//   a block of each rather than the whole figure), and beside it the CPU time of the calling
//   thread (user and system) per request and its ratio;
// - a 64 MiB body: the best throughput of each over the iterations, alternating, and the ratio
//   client / bare in throughput;
// - a 64 MiB body: the peak resident memory of one call in a freshly forked child that starts
//   its own server thread: getrusage(RUSAGE_SELF).ru_maxrss after the call, less the resident
//   size (/proc/self/statm) just before it, over the body size.
// Counters are named after the client ("<client>_us", "bare_us", "ratio", ...).
#pragma once

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace bench_support {

using Clock = std::chrono::steady_clock;

inline constexpr std::size_t kLargeBody = 64u << 20;

inline double seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Answers every connection with one response and closes it. The body is `body_size` bytes of
// 'a', written from one block of at most 1 MiB, so the server holds no copy of a large body.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::size_t body_size) : body_size_(body_size) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 128);
    socklen_t size = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackServer() {
    stopping_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/data"; }

 private:
  void serve() {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body_size_) +
                             "\r\nConnection: close\r\n\r\n";
    const std::string block(std::min<std::size_t>(body_size_, 1u << 20), 'a');
    std::string request;
    char chunk[4096];
    while (!stopping_) {
      const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      request.clear();
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        request.append(chunk, static_cast<std::size_t>(n));
      }
      bool ok = ::send(client, head.data(), head.size(), MSG_NOSIGNAL) > 0;
      for (std::size_t left = body_size_; ok && left > 0;) {
        const std::size_t n = std::min(left, block.size());
        const ssize_t sent = ::send(client, block.data(), n, MSG_NOSIGNAL);
        ok = sent > 0;
        if (ok) left -= static_cast<std::size_t>(sent);
      }
      ::close(client);
    }
  }

  std::size_t body_size_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

inline std::size_t append_body(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// The baseline: one easy handle per request, the body accumulated in a string. Returns the
// body's size.
inline std::size_t bare_get(const std::string& url) {
  std::string body;
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append_body);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  return body.size();
}

inline double resident_mib() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

struct Peak {
  double baseline_mib = 0;  // resident size just before the call
  double peak_mib = 0;      // the child's peak resident size (ru_maxrss) after the call
  bool ok = false;          // the whole body arrived
};

// Runs `get` on a kLargeBody response in a freshly forked child that starts its own server,
// and reports the child's memory. `get` returns the body's size.
template <typename Get>
Peak measure_in_child(Get get) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_fds[0]);
    Peak peak;
    {
      LoopbackServer server(kLargeBody);
      const std::string url = server.url();
      peak.baseline_mib = resident_mib();
      peak.ok = get(url) == kLargeBody;
      rusage usage{};
      ::getrusage(RUSAGE_SELF, &usage);
      peak.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024;
    }
    const ssize_t written = ::write(pipe_fds[1], &peak, sizeof peak);
    ::_exit(written == sizeof peak ? 0 : 1);
  }
  ::close(pipe_fds[1]);
  Peak peak;
  if (::read(pipe_fds[0], &peak, sizeof peak) != sizeof peak) peak = {};
  ::close(pipe_fds[0]);
  ::waitpid(child, nullptr, 0);
  return peak;
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

inline double thread_cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// `get(url)` makes one request and returns the body's size.
template <typename Get>
void compare_small_gets(benchmark::State& state, const std::string& client, Get get) {
  LoopbackServer server(12);
  const std::string url = server.url();
  std::vector<double> client_blocks, bare_blocks;
  double client_cpu = 0, bare_cpu = 0;
  for (auto _ : state) {
    for (int block = 0; block < 20; ++block) {
      double cpu = thread_cpu_seconds();
      auto start = Clock::now();
      for (int i = 0; i < 50; ++i) get(url);
      client_blocks.push_back(seconds(Clock::now() - start) / 50);
      client_cpu += thread_cpu_seconds() - cpu;
      cpu = thread_cpu_seconds();
      start = Clock::now();
      for (int i = 0; i < 50; ++i) bare_get(url);
      bare_blocks.push_back(seconds(Clock::now() - start) / 50);
      bare_cpu += thread_cpu_seconds() - cpu;
    }
  }
  const double measured = median(client_blocks), bare = median(bare_blocks);
  const double requests = static_cast<double>(client_blocks.size()) * 50;
  state.counters[client + "_us"] = measured * 1e6;
  state.counters["bare_us"] = bare * 1e6;
  state.counters["ratio"] = measured / bare;
  state.counters[client + "_cpu_us"] = client_cpu / requests * 1e6;
  state.counters["bare_cpu_us"] = bare_cpu / requests * 1e6;
  state.counters["cpu_ratio"] = client_cpu / bare_cpu;
}

template <typename Get>
void compare_large_throughput(benchmark::State& state, const std::string& client, Get get) {
  LoopbackServer server(kLargeBody);
  const std::string url = server.url();
  double client_best = 1e9, bare_best = 1e9;
  for (auto _ : state) {
    auto start = Clock::now();
    if (get(url) != kLargeBody) state.SkipWithError("short body");
    client_best = std::min(client_best, seconds(Clock::now() - start));
    start = Clock::now();
    if (bare_get(url) != kLargeBody) state.SkipWithError("short bare body");
    bare_best = std::min(bare_best, seconds(Clock::now() - start));
  }
  const double mib = static_cast<double>(kLargeBody) / (1 << 20);
  state.counters[client + "_MiB_s"] = mib / client_best;
  state.counters["bare_MiB_s"] = mib / bare_best;
  state.counters["ratio"] = bare_best / client_best;
}

template <typename Get>
void compare_peak_memory(benchmark::State& state, const std::string& client, Get get) {
  Peak measured, bare;
  for (auto _ : state) {
    measured = measure_in_child(get);
    bare = measure_in_child(bare_get);
  }
  if (!measured.ok || !bare.ok) state.SkipWithError("short body");
  const double body_mib = static_cast<double>(kLargeBody) / (1 << 20);
  state.counters[client + "_peak_MiB"] = measured.peak_mib;
  state.counters[client + "_baseline_MiB"] = measured.baseline_mib;
  state.counters[client + "_x_body"] = (measured.peak_mib - measured.baseline_mib) / body_mib;
  state.counters["bare_peak_MiB"] = bare.peak_mib;
  state.counters["bare_x_body"] = (bare.peak_mib - bare.baseline_mib) / body_mib;
}

}  // namespace bench_support
