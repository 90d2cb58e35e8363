#include "net/cookies.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/literal.h"
#include "tests/net/cookie_reference.h"

namespace {

TEST(CollectSetCookies, Cases) {
  struct Row {
    const char* name;
    Text headers, want;
  } rows[] = {
      {"attributes dropped, other lines skipped",
       "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nContent-Length: 3",
       "a=1; b=2"},
      {"no Set-Cookie line", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n", ""},
      {"empty headers", "", ""},
      {"value trimmed", "Set-Cookie:  c=3 ", "c=3"},
      {"value with = and attributes", "Set-Cookie: k=v=w; expires=x; domain=y", "k=v=w"},
      {"header name letter case significant", "set-cookie: a=1\r\nSet-Cookie: b=2", "b=2"},
      {"trailing CR LF", "Set-Cookie: a=1\r\n\r\n", "a=1"},
      {"Chinese value", concat_text("Set-Cookie: n=", ZH("中文"), "; path=/"),
       concat_text("n=", ZH("中文"))},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(collect_set_cookies(r.headers).bytes(), r.want.bytes());
    // The per-line step, driven by a caller that walks the lines itself, gives the same.
    std::string collected;
    for (const Text& line : split_text(r.headers, "\r\n")) collect_set_cookie_line(line, collected);
    EXPECT_EQ(finish_set_cookies(collected).bytes(), r.want.bytes());
  }
}

TEST(FinishSetCookies, CutsTheLastSeparator) {
  EXPECT_EQ(finish_set_cookies("a=1; b=2; ").bytes(), "a=1; b=2");
  EXPECT_TRUE(finish_set_cookies("; ").empty());
  EXPECT_TRUE(finish_set_cookies("").empty());
}

TEST(MergeCookies, Matrix) {
  struct Row {
    const char* name;
    Text old_in, new_in, want, new_after;
  } rows[] = {
      {"both empty", "", "", "", ""},
      {"old only", "a=1; b=2", "", "a=1; b=2", ""},
      {"new only", "", "a=1", "a=1", "a=1"},
      {"new value replaces old", "a=1", "a=2", "a=2", "a=2"},
      {"new pairs first, then old ones", "a=1; b=2", "c=3", "c=3; a=1; b=2", "c=3"},
      {"new order kept", "z=0", "c=3; a=1", "c=3; a=1; z=0", "c=3;a=1"},
      {"deleted removes the old pair", "a=1; b=2", "b=deleted", "a=1", "b=deleted"},
      {"deleted old pair dropped", "b=deleted", "", "", ""},
      {"deletion mark is case-sensitive", "", "b=DELETED", "b=DELETED", "b=DELETED"},
      {"spaces removed inside values", "a = 1", "", "a=1", ""},
      {"full-width spaces removed", concat_text("a=", ZH("\u3000"), "1"), "", "a=1", ""},
      {"spaces removed from new", "", " a = 1 2 ", "a=12", "a=12"},
      {"first of two old pairs kept", "a=1;a=2", "", "a=1", ""},
      {"exact repeat dropped", "", "a=1; a=1", "a=1", "a=1;a=1"},
      {"same name, other value kept", "", "a=1; a=2", "a=1; a=2", "a=1;a=2"},
      {"names case-sensitive", "x=1", "X=2", "X=2; x=1", "X=2"},
      {"separator without space", "a=1;b=2", "", "a=1; b=2", ""},
      {"trailing separator", "a=1;", "", "a=1", ""},
      {"empty pair between separators stays", "a=1;;b=2", "", "a=1; ; b=2", ""},
      {"value holding =", "k=v=w", "k=x", "k=x", "k=x"},
      {"pair without =", "flag; a=1", "flag", "flag; a=1", "flag"},
      {"Chinese values", concat_text("n=", ZH("中")), concat_text("m=", ZH("文")),
       concat_text("m=", ZH("文"), "; n=", ZH("中")), concat_text("m=", ZH("文"))},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Text old_cookies = r.old_in;
    Text new_cookies = r.new_in;
    const Text merged = merge_cookies(old_cookies, new_cookies);
    EXPECT_EQ(merged.bytes(), r.want.bytes());
    EXPECT_EQ(old_cookies.bytes(), r.want.bytes()) << "old written back";
    EXPECT_EQ(new_cookies.bytes(), r.new_after.bytes()) << "new written back";
  }
}

TEST(CookieName, Cases) {
  struct Row {
    Text pair, want;
  } rows[] = {
      {" sid = 5", "sid"}, {"flag", "flag"}, {"k=v=w", "k"}, {"=v", ""}, {"", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.pair.bytes());
    EXPECT_EQ(cookie_name(r.pair).bytes(), r.want.bytes());
  }
}

TEST(CookieNameListed, ComparesNamesExactly) {
  const TextArray list = {"a=1", " B =2", "flag"};
  EXPECT_TRUE(cookie_name_listed(list, "a"));
  EXPECT_TRUE(cookie_name_listed(list, "B"));
  EXPECT_TRUE(cookie_name_listed(list, "flag"));
  EXPECT_FALSE(cookie_name_listed(list, "b"));
  EXPECT_FALSE(cookie_name_listed(list, "a=1"));
  EXPECT_FALSE(cookie_name_listed(TextArray(), ""));
}

TEST(JoinUnique, Cases) {
  struct Row {
    const char* name;
    Text text, separator, want;
  } rows[] = {
      {"repeat dropped", "a; b; a", "; ", "a; b"},
      {"empty", "", "; ", ""},
      {"letter case significant", "a,A,a", ",", "a,A"},
      {"empty members collapse to the first", "a,,b,,c", ",", "a,,b,c"},
      {"trailing separator dropped", "a,b,", ",", "a,b"},
      {"empty separator keeps the text", "aab", "", "aab"},
      {"multi-byte separator", "xSEPySEPx", "SEP", "xSEPy"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(join_unique(r.text, r.separator).bytes(), r.want.bytes());
  }
}

TEST(FindInList, Cases) {
  const TextArray list = {"x", "y", Text(), "y"};
  EXPECT_EQ(find_in_list(list, "y"), 2);
  EXPECT_EQ(find_in_list(list, "z"), -1);
  EXPECT_EQ(find_in_list(list, "Y"), -1);
  EXPECT_EQ(find_in_list(list, ""), 3);
  EXPECT_EQ(find_in_list(TextArray(), "x"), -1);
}

using namespace cookie_reference;

// A random cookie string over few names and values, so that names and pairs repeat, with
// spaces, full-width spaces, empty pairs, stray separators and Chinese text.
Text random_cookies(std::mt19937& rng) {
  // "\x81" swallows the byte after it, a space or a ";" included.
  static const Text names[] = {"a", "A", "b", "sid", "", " a", ZH("名"), "\x81", "b\x81"};
  static const Text values[] = {
      "1",     "2", "deleted", "DELETED", "", "x=y", " 1 ", "v 2", concat_text(ZH("\u3000"), "3"),
      ZH("值")};
  static const char* separators[] = {"; ", ";", ";;", " ; "};
  std::string out;
  const int pairs = static_cast<int>(rng() % 7);
  if (rng() % 8 == 0) out += ";";
  for (int i = 0; i < pairs; ++i) {
    if (i > 0) out += separators[rng() % 4];
    out += names[rng() % std::size(names)].bytes();
    if (rng() % 6 != 0) {
      out += "=";
      out += values[rng() % std::size(values)].bytes();
    }
  }
  if (rng() % 8 == 0) out += ";";
  return Text::result(out);
}

TEST(MergeCookies, MatchesTheDescribedLoopsOnRandomStrings) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 20000; ++round) {
    const Text old_in = random_cookies(rng);
    const Text new_in = random_cookies(rng);
    Text old_ours = old_in, new_ours = new_in, old_ref = old_in, new_ref = new_in;
    const Text ours = merge_cookies(old_ours, new_ours);
    const Text ref = ref_merge_cookies(old_ref, new_ref);
    ASSERT_EQ(ours.bytes(), ref.bytes())
        << "old '" << old_in.bytes() << "' new '" << new_in.bytes() << "'";
    ASSERT_EQ(old_ours.bytes(), old_ref.bytes());
    ASSERT_EQ(new_ours.bytes(), new_ref.bytes());
  }
}

TEST(JoinUnique, MatchesTheDescribedLoopOnRandomTexts) {
  std::mt19937 rng(7);
  const Text separators[] = {"; ", ",", "ab", "", ZH("中")};
  const Text pieces[] = {"a", "b", "ab", ",", "; ", " ", ZH("中"), "\x81"};
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int n = static_cast<int>(rng() % 10);
    for (int i = 0; i < n; ++i) text += pieces[rng() % std::size(pieces)].bytes();
    const Text& separator = separators[rng() % std::size(separators)];
    ASSERT_EQ(join_unique(text, separator).bytes(), ref_join_unique(text, separator).bytes())
        << "text '" << text << "' separator '" << separator.bytes() << "'";
  }
}

// Inputs large enough to be looked up in many hash partitions, with results built from the
// rules directly (the described loops would take minutes here).
std::string pair_text(const char* name, int i, const std::string& value) {
  return name + std::to_string(i) + "=" + value;
}

TEST(MergeCookies, ManyPairs) {
  constexpr int kN = 20000;
  std::string new_s, old_half, want;
  auto add = [](std::string& s, const std::string& pair) {
    if (!s.empty()) s += "; ";
    s += pair;
  };
  for (int i = 0; i < kN; ++i) {
    add(new_s, pair_text("k", i, i % 5 == 0 ? "deleted" : "n" + std::to_string(i)));
    if (i % 5 != 0) add(want, pair_text("k", i, "n" + std::to_string(i)));
  }
  for (int i = kN / 2; i < kN + kN / 2; ++i)
    add(old_half, pair_text("k", i, "o" + std::to_string(i)));
  // Old names the new pairs do not set follow, each only once although the old string lists
  // them twice.
  for (int i = kN; i < kN + kN / 2; ++i) add(want, pair_text("k", i, "o" + std::to_string(i)));

  Text old_cookies(old_half + ";" + old_half);
  Text new_cookies(new_s);
  EXPECT_EQ(merge_cookies(old_cookies, new_cookies).bytes(), want);

  // Repeated new names: exact repeats go, a new value for a name stays after the first pairs.
  std::string repeats = new_s, want_repeats;
  for (int i = 0; i < kN; ++i) {
    if (i % 5 != 0) add(repeats, pair_text("k", i, "n" + std::to_string(i)));
  }
  for (int i = 0; i < kN; i += 7) add(repeats, pair_text("k", i, "x"));
  for (int i = 0; i < kN; ++i) {
    if (i % 5 != 0) add(want_repeats, pair_text("k", i, "n" + std::to_string(i)));
  }
  for (int i = 0; i < kN; i += 7) add(want_repeats, pair_text("k", i, "x"));
  for (int i = kN; i < kN + kN / 2; ++i) {
    add(want_repeats, pair_text("k", i, "o" + std::to_string(i)));
  }
  old_cookies = Text(old_half);
  new_cookies = Text(repeats);
  EXPECT_EQ(merge_cookies(old_cookies, new_cookies).bytes(), want_repeats);
}

TEST(JoinUnique, ManyMembers) {
  std::string text, want;
  for (int i = 0; i < 50000; ++i) {
    const std::string member = "m" + std::to_string(i % 20000);
    if (i > 0) text += "; ";
    text += member;
    if (i < 20000) {
      if (i > 0) want += "; ";
      want += member;
    }
  }
  EXPECT_EQ(join_unique(text, "; ").bytes(), want);
}

}  // namespace
