// The declared-charset conversion of an 8 MiB UTF-8 page against one plain iconv UTF-8 -> CP936
// pass over the same bytes. BM_ThroughputRatio runs both alternately in one loop and reports
// `ratio` = throughput of the conversion / throughput of the plain pass (want >= 0.8).
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <chrono>
#include <memory>
#include <string>

#include "net/charset.h"

namespace {

constexpr std::size_t kPageBytes = 8u << 20;

const std::string& page() {
  static const std::string body = [] {
    std::string s =
        "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" "
        "content=\"text/html; charset=utf-8\"><title>测试页面</title></head><body>\n";
    const std::string line = "<p>中文测试页面，包含汉字与标点。Some ASCII markup too.</p>\n";
    s.reserve(kPageBytes + line.size());
    while (s.size() < kPageBytes) s += line;
    s += "</body></html>\n";
    return s;
  }();
  return body;
}

// One plain iconv pass into an output buffer of the input's size (UTF-8 never grows into CP936).
std::string plain_iconv(const std::string& in) {
  iconv_t cd = iconv_open("CP936", "UTF-8");
  std::unique_ptr<char[]> out(new char[in.size()]);
  char* inp = const_cast<char*>(in.data());
  std::size_t inleft = in.size();
  char* outp = out.get();
  std::size_t outleft = in.size();
  iconv(cd, &inp, &inleft, &outp, &outleft);
  iconv_close(cd);
  return std::string(out.get(), in.size() - outleft);
}

void BM_PlainIconv(benchmark::State& state) {
  const std::string& body = page();
  for (auto _ : state) benchmark::DoNotOptimize(plain_iconv(body));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void BM_ConvertDeclaredCharset(benchmark::State& state) {
  const Text text(page());
  const ByteSet bytes(page());
  for (auto _ : state) benchmark::DoNotOptimize(convert_declared_charset(text, bytes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}

void BM_ThroughputRatio(benchmark::State& state) {
  const Text text(page());
  const ByteSet bytes(page());
  if (convert_declared_charset(text, bytes).bytes() != plain_iconv(page())) {
    state.SkipWithError("the conversion and the plain pass disagree");
    return;
  }
  using Clock = std::chrono::steady_clock;
  Clock::duration plain{}, converted{};
  for (auto _ : state) {
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(plain_iconv(page()));
    const auto t1 = Clock::now();
    benchmark::DoNotOptimize(convert_declared_charset(text, bytes));
    const auto t2 = Clock::now();
    plain += t1 - t0;
    converted += t2 - t1;
  }
  state.counters["ratio"] =
      std::chrono::duration<double>(plain) / std::chrono::duration<double>(converted);
}

}  // namespace

BENCHMARK(BM_PlainIconv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertDeclaredCharset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThroughputRatio)->Unit(benchmark::kMillisecond)->MinTime(2.0);
