// merge_cookies against a literal transcription of the described loops (a list rescan per pair
// and repeated concatenation), on cookie strings of n old and n new pairs.
#include <benchmark/benchmark.h>

#include <string>

#include "net/cookies.h"
#include "tests/net/cookie_reference.h"

namespace {

// n new pairs, every 10th sharing its name with an old pair and every 7th a deletion mark; n old
// pairs, every 10th of them named like a new one. Numbers have six digits at every size, so that
// the texts grow exactly with the number of pairs.
struct Inputs {
  Text old_cookies, new_cookies;
};

Inputs make_inputs(int n) {
  std::string old_s, new_s;
  for (int i = 0; i < n; ++i) {
    if (i > 0) {
      old_s += "; ";
      new_s += "; ";
    }
    std::string id = std::to_string(i);
    id.insert(0, 6 - id.size(), '0');
    new_s += (i % 10 == 0 ? "s" : "n") + id + "=" + (i % 7 == 0 ? "deleted" : "value" + id);
    old_s += (i % 10 == 0 ? "s" : "o") + id + "=old" + id;
  }
  return {Text(old_s), Text(new_s)};
}

using cookie_reference::ref_merge_cookies;

template <Text (*Merge)(Text&, Text&)>
void BM_Merge(benchmark::State& state) {
  const Inputs inputs = make_inputs(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Text old_cookies = inputs.old_cookies;
    Text new_cookies = inputs.new_cookies;
    benchmark::DoNotOptimize(Merge(old_cookies, new_cookies));
  }
  state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(BM_Merge<merge_cookies>)
    ->Name("merge_cookies")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
// The transcription is quadratic: 100,000 pairs would take far too long, so it stops at 10,000.
BENCHMARK(BM_Merge<ref_merge_cookies>)
    ->Name("described_loops")
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);
