// Not a benchmark: a plain loop of small GETs for instruction counts under callgrind, where
// the wall-clock benchmarks are too noisy to compare single changes.
//
//   small_get_loop <winhttp|wininet|bare> <requests>
//
// The loopback server runs in a forked child, so the parent's counts hold the client alone.
// The per-request figure is the difference of two runs over the difference of their request
// counts, which cancels start-up and exit:
//   valgrind --tool=callgrind --callgrind-out-file=/tmp/cg.%p small_get_loop winhttp 100
//   valgrind --tool=callgrind --callgrind-out-file=/tmp/cg.%p small_get_loop winhttp 300
//   -> (Ir of the second parent - Ir of the first) / 200
// (scripts: bench/callgrind_per_request.sh does exactly that).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/http_bench_support.h"
#include "net/winhttp_request.h"
#include "net/wininet_request.h"

namespace {

std::size_t winhttp_get(const std::string& url) {
  ByteSet bytes;
  winhttp_request(Text(url), {.body_bytes = &bytes});
  return static_cast<std::size_t>(bytes.length());
}

std::size_t wininet_get(const std::string& url) {
  return static_cast<std::size_t>(wininet_request(Text(url)).length());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <winhttp|wininet|bare> <requests>\n", argv[0]);
    return 2;
  }
  const std::string client = argv[1];
  const int requests = std::atoi(argv[2]);
  std::size_t (*get)(const std::string&) = client == "winhttp"   ? winhttp_get
                                           : client == "wininet" ? wininet_get
                                           : client == "bare"    ? bench_support::bare_get
                                                                 : nullptr;
  if (!get) return 2;

  int ready[2];
  if (::pipe(ready) != 0) return 1;
  const pid_t server = ::fork();
  if (server == 0) {
    ::close(ready[0]);
    bench_support::LoopbackServer loopback(12);
    const std::string url = loopback.url();
    if (::write(ready[1], url.data(), url.size()) < 0) ::_exit(1);
    ::close(ready[1]);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char buffer[128];
  const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
  ::close(ready[0]);
  if (n <= 0) return 1;
  const std::string url(buffer, static_cast<std::size_t>(n));

  // One request outside the counted difference warms up what the first one builds.
  get(url);
  std::size_t bytes = 0;
  for (int i = 0; i < requests; ++i) bytes += get(url);
  ::kill(server, SIGKILL);
  ::waitpid(server, nullptr, 0);
  return bytes == static_cast<std::size_t>(requests) * 12 ? 0 : 1;
}
