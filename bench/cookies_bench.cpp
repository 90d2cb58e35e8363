// merge_cookies against a literal transcription of the described loops (a list rescan per pair
// and repeated concatenation), on cookie strings of n old and n new pairs.
#include <benchmark/benchmark.h>

#include <string>

#include "net/cookies.h"

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

// ---- the described loops, transcribed ----

Text ref_cookie_name(const Text& pair) {
  const int p = find_text(pair, "=");
  return trim_text(p == -1 ? pair : text_left(pair, p - 1));
}

bool ref_cookie_name_listed(const TextArray& list, const Text& name) {
  for (int i = 1; i <= array_count(list); ++i) {
    if (compare_text(ref_cookie_name(list[i]), name) == 0) return true;
  }
  return false;
}

int ref_find_in_list(const TextArray& list, const Text& member) {
  for (int i = 1; i <= array_count(list); ++i) {
    if (compare_text(list[i], member) == 0) return i;
  }
  return -1;
}

Text ref_join_unique(const Text& text, const Text& separator) {
  const TextArray members = split_text(text, separator);
  TextArray seen;
  Text out;
  for (int i = 1; i <= array_count(members); ++i) {
    if (ref_find_in_list(seen, members[i]) == -1) {
      array_append(seen, members[i]);
      out = concat_text(out, members[i], separator);
    }
  }
  return text_left(out, text_length(out) - text_length(separator));
}

Text ref_merge_cookies(Text& old_cookies, Text& new_cookies) {
  old_cookies = remove_spaces(old_cookies);
  new_cookies = remove_spaces(new_cookies);
  const TextArray old_pairs = split_text(old_cookies, ";");
  TextArray new_pairs = split_text(new_cookies, ";");
  for (int i = 1; i <= array_count(old_pairs); ++i) {
    if (!ref_cookie_name_listed(new_pairs, ref_cookie_name(old_pairs[i]))) {
      array_append(new_pairs, old_pairs[i]);
    }
  }
  old_cookies = Text();
  for (int i = 1; i <= array_count(new_pairs); ++i) {
    if (text_right(new_pairs[i], 8) != Text("=deleted")) {
      old_cookies = concat_text(old_cookies, new_pairs[i], "; ");
    }
  }
  old_cookies = text_left(old_cookies, text_length(old_cookies) - 2);
  old_cookies = ref_join_unique(old_cookies, "; ");
  return old_cookies;
}

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
