// wininet_request against a bare libcurl easy handle per request, both talking to the same
// in-process loopback server (see http_bench_support.h for how each figure is taken). Budgets:
// small GETs ratio <= 1.15; 64 MiB throughput ratio >= 0.8; peak memory of a 64 MiB call
// (wininet_x_body) <= 3.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/http_bench_support.h"
#include "net/wininet_request.h"

namespace {

using namespace bench_support;

std::size_t wininet_get(const std::string& url) {
  const ByteSet body = wininet_request(Text(url));
  benchmark::DoNotOptimize(body.data());
  return static_cast<std::size_t>(body.length());
}

void BM_SmallGets(benchmark::State& state) {
  compare_small_gets(state, "wininet", wininet_get);
}
BENCHMARK(BM_SmallGets)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_LargeBodyThroughput(benchmark::State& state) {
  compare_large_throughput(state, "wininet", wininet_get);
}
BENCHMARK(BM_LargeBodyThroughput)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_LargeBodyPeakMemory(benchmark::State& state) {
  compare_peak_memory(state, "wininet", wininet_get);
}
BENCHMARK(BM_LargeBodyPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
