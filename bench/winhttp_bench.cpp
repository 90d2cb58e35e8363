// winhttp_request against a bare libcurl easy handle per request, both talking to the same
// in-process loopback server (see http_bench_support.h for how each figure is taken). Budgets:
// small GETs ratio <= 1.15; 64 MiB throughput ratio >= 0.8; peak memory of a 64 MiB call
// (winhttp_x_body) <= 4.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/http_bench_support.h"
#include "net/winhttp_request.h"

namespace {

using namespace bench_support;

std::size_t winhttp_get(const std::string& url) {
  ByteSet bytes;
  const Text text = winhttp_request(Text(url), {.body_bytes = &bytes});
  benchmark::DoNotOptimize(text);
  return static_cast<std::size_t>(bytes.length());
}

void BM_SmallGets(benchmark::State& state) {
  compare_small_gets(state, "winhttp", winhttp_get);
}
BENCHMARK(BM_SmallGets)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_LargeBodyThroughput(benchmark::State& state) {
  compare_large_throughput(state, "winhttp", winhttp_get);
}
BENCHMARK(BM_LargeBodyThroughput)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_LargeBodyPeakMemory(benchmark::State& state) {
  compare_peak_memory(state, "winhttp", winhttp_get);
}
BENCHMARK(BM_LargeBodyPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
