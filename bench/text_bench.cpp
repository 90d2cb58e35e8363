// Throughput of the searching, replacing and splitting primitives on 1, 4 and 16 MiB texts,
// each beside std::string_view::find over the same bytes as the baseline.
//
// Two kinds of text: mixed GBK (about half the characters double-byte, trail bytes from 40-7E
// and 80-FE, commas, \ and |) and ASCII-heavy (about one character in thirty double-byte).
// The searched needle starts with a byte that occurs all over the text (in the mixed text also
// as a trail byte), so a search does more than stream memory; as a whole it never occurs (its
// last byte '#' is never generated), so every search scans the whole text.
//
// Each iteration takes the next of several copies of the text, together 128 MiB (four times a
// large last-level cache), so that every size reads its bytes from memory. Otherwise a 1 MiB
// text stays in cache between iterations and a 16 MiB one does not, and the ratio of times
// between sizes would show cache residency rather than how the work grows with the text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text.h"

namespace {

enum class Kind { kMixed, kAscii };

std::string make_text(Kind kind, std::size_t size) {
  static constexpr char kAsciiBytes[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789     .=&/\\|:;-_";
  std::mt19937 random(static_cast<std::uint32_t>(size) ^ (kind == Kind::kMixed ? 1u : 2u));
  auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const int double_byte_percent = kind == Kind::kMixed ? 50 : 3;
  std::string out;
  out.reserve(size + 1);
  while (out.size() + 1 < size) {
    if (below(100) < double_byte_percent) {
      out += static_cast<char>(0x81 + below(0x7E));                    // lead 81-FE
      int trail = below(2) ? 0x40 + below(0x3F) : 0x80 + below(0x7F);  // 40-7E or 80-FE
      out += static_cast<char>(trail);
    } else if (below(100) < 4) {
      out += ',';
    } else {
      out += kAsciiBytes[below(sizeof kAsciiBytes - 1)];
    }
  }
  while (out.size() < size) out += 'x';
  return out;
}

constexpr std::size_t kWorkingSet = std::size_t{128} << 20;

// Copies of one text, handed out in turn.
class TextPool {
 public:
  TextPool(Kind kind, std::size_t size)
      : copies_(std::max<std::size_t>(1, kWorkingSet / size), Text(make_text(kind, size))) {}
  const Text& next() {
    const Text& t = copies_[next_];
    next_ = next_ + 1 == copies_.size() ? 0 : next_ + 1;
    return t;
  }

 private:
  std::vector<Text> copies_;
  std::size_t next_ = 0;
};

// One pool per kind and size, built on first use and kept, so that a primitive and its
// baseline read the very same memory.
TextPool& pool_of(Kind kind, std::size_t size) {
  static std::map<std::pair<Kind, std::size_t>, std::unique_ptr<TextPool>> pools;
  auto& pool = pools[{kind, size}];
  if (!pool) pool = std::make_unique<TextPool>(kind, size);
  return *pool;
}

const Text kNeedleMixed("a\xD6\xD0\xCE\xC4#");
const Text kNeedleAscii("order_id=#");

std::size_t size_arg(const benchmark::State& state) {
  return static_cast<std::size_t>(state.range(0)) << 20;
}

void set_bytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size_arg(state)));
}

void BM_Baseline_StringViewFind_Mixed(benchmark::State& state) {
  TextPool& pool = pool_of(Kind::kMixed, size_arg(state));
  for (auto _ : state) {
    const Text& text = pool.next();
    benchmark::DoNotOptimize(text.view().find(kNeedleMixed.view()));
  }
  set_bytes(state);
}

void BM_FindText_Mixed(benchmark::State& state) {
  TextPool& pool = pool_of(Kind::kMixed, size_arg(state));
  for (auto _ : state) {
    const Text& text = pool.next();
    benchmark::DoNotOptimize(find_text(text, kNeedleMixed));
  }
  set_bytes(state);
}

void BM_ReplaceText_Mixed(benchmark::State& state) {
  TextPool& pool = pool_of(Kind::kMixed, size_arg(state));
  for (auto _ : state) {
    const Text& text = pool.next();
    benchmark::DoNotOptimize(replace_text(text, ",", "; "));
  }
  set_bytes(state);
}

void BM_SplitText_Mixed(benchmark::State& state) {
  TextPool& pool = pool_of(Kind::kMixed, size_arg(state));
  for (auto _ : state) {
    const Text& text = pool.next();
    benchmark::DoNotOptimize(split_text(text, ","));
  }
  set_bytes(state);
}

void BM_Baseline_StringViewFind_Ascii(benchmark::State& state) {
  TextPool& pool = pool_of(Kind::kAscii, size_arg(state));
  for (auto _ : state) {
    const Text& text = pool.next();
    benchmark::DoNotOptimize(text.view().find(kNeedleAscii.view()));
  }
  set_bytes(state);
}

void BM_FindText_Ascii(benchmark::State& state) {
  TextPool& pool = pool_of(Kind::kAscii, size_arg(state));
  for (auto _ : state) {
    const Text& text = pool.next();
    benchmark::DoNotOptimize(find_text(text, kNeedleAscii));
  }
  set_bytes(state);
}

// The argument is the text size in MiB.
void text_sizes(benchmark::internal::Benchmark* b) {
  b->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Baseline_StringViewFind_Mixed)->Apply(text_sizes);
BENCHMARK(BM_FindText_Mixed)->Apply(text_sizes);
BENCHMARK(BM_ReplaceText_Mixed)->Apply(text_sizes);
BENCHMARK(BM_SplitText_Mixed)->Apply(text_sizes);
BENCHMARK(BM_Baseline_StringViewFind_Ascii)->Apply(text_sizes);
BENCHMARK(BM_FindText_Ascii)->Apply(text_sizes);

}  // namespace
