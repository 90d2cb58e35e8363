#include "base/regex_object.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "base/literal.h"
#include "platform/automation/automation.h"

namespace {

using platform::automation::co_initialize_count;

const char* const kMetaPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// Every match of the last search, joined by "|".
std::string all_matches(const RegexObject& re) {
  std::string out;
  for (int i = 1; i <= re.match_count(); ++i) {
    if (i > 1) out += '|';
    out += re.match_text(i).bytes();
  }
  return out;
}

TEST(RegexObject, MetaCharsetDeclaration) {
  RegexObject re;
  ASSERT_TRUE(re.create(kMetaPattern, "<html><head><META content=text/html;charset=UTF-8></head>"));
  EXPECT_EQ(re.match_count(), 1);
  EXPECT_EQ(re.submatch_text(1, 1), Text("UTF-8"));
  EXPECT_EQ(re.submatch_count(), 1);

  // A search that finds nothing still ran.
  ASSERT_TRUE(re.create(kMetaPattern, "<html><head><title>x</title></head>"));
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_TRUE(re.submatch_text(1, 1).empty());
  EXPECT_EQ(re.submatch_count(), 0);

  // The declaration may sit on a later line, but '.' does not cross a line end.
  ASSERT_TRUE(re.create(kMetaPattern, "<p>\n<meta charset=\"gbk\">"));
  EXPECT_EQ(re.submatch_text(1, 1), Text("gbk"));
  ASSERT_TRUE(re.create(kMetaPattern, "<meta\ncharset=utf-8>"));
  EXPECT_EQ(re.match_count(), 0);
}

TEST(RegexObject, RejectedPatternLeavesNoMatches) {
  RegexObject re;
  ASSERT_TRUE(re.create("a", "a"));
  EXPECT_FALSE(re.create("(", "(abc"));
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_TRUE(re.match_text(1).empty());
  EXPECT_EQ(re.pattern(), Text("("));
  // A later search works again.
  EXPECT_TRUE(re.create("b", "abc"));
  EXPECT_EQ(re.match_count(), 1);
}

TEST(RegexObject, Options) {
  struct Row {
    const char* name;
    Text pattern;
    Text subject;
    bool case_sensitive, multiline, global, expand_quotes;
    std::string want;  // the matches, joined by "|"
  } rows[] = {
      {"letter case ignored by default", "META", "<meta>", false, true, true, false, "meta"},
      {"case sensitive", "META", "<meta>", true, true, true, false, ""},
      {"quotes expanded", ZH("a#引号b"), "a\"b", false, true, true, true, "a\"b"},
      {"quotes not expanded", ZH("a#引号b"), "a\"b", false, true, true, false, ""},
      {"global", "a", "banana", false, true, true, false, "a|a|a"},
      {"not global", "a", "banana", false, true, false, false, "a"},
      {"multiline: ^ after a line end", "^\\w", "ab\ncd\r\nef", false, true, true, false, "a|c|e"},
      {"not multiline: ^ only at the start", "^\\w", "ab\ncd", false, false, true, false, "a"},
      {"multiline: $ before a line end", "a$", "a\n", false, true, true, false, "a"},
      {"not multiline: $ only at the very end", "a$", "a\n", false, false, true, false, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    RegexObject re;
    ASSERT_TRUE(re.create(r.pattern, r.subject, r.case_sensitive, r.multiline, r.global,
                          r.expand_quotes));
    EXPECT_EQ(all_matches(re), r.want);
  }
}

// The dialect the patterns are written in: JavaScript-style, ASCII classes, CP936 subjects.
TEST(RegexObject, Dialect) {
  struct Row {
    const char* name;
    Text pattern;
    Text subject;
    std::string want;
  } rows[] = {
      {"\\w is ASCII only", "\\w+", ZH("中a文b"), "a|b"},
      {"\\d is ASCII only", "\\d", ZH("１2"), "2"},
      {"\\s is ASCII only", "\\s", ZH("a　b c"), " "},
      {"a Chinese character is one character", ZH("中.文"), ZH("中国文"), ZH("中国文").bytes()},
      {"'.' matches no line terminator", "a.b", "a\nb a\rb a-b", "a-b"},
      {"[^] matches anything", "a[^]b", "a\nb", "a\nb"},
      {"[] matches nothing", "a[]|b", "ab", "b"},
      {"\\uhhhh", "\\u4E2D", ZH("x中"), ZH("中").bytes()},
      {"\\xhh", "\\x41", "xA", "A"},
      {"\\u without digits is a letter", "\\u", "u", "u"},
      {"unknown escape is the letter", "\\q", "q", "q"},
      {"back reference to a group that took no part", "(x)?b\\1", "b", "b"},
      {"empty matches step one character", "x*", "axb", "|x||"},
      {"lazy quantifier", "<.+?>", "<a><b>", "<a>|<b>"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    RegexObject re;
    ASSERT_TRUE(re.create(r.pattern, r.subject));
    EXPECT_EQ(all_matches(re), r.want);
  }
  RegexObject re;
  EXPECT_FALSE(re.create("(*UTF)a", "a")) << "no switching the engine to UTF mode";
}

TEST(RegexObject, CatastrophicBacktrackingEndsWithNoMatch) {
  RegexObject re;
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_TRUE(re.create("(a+)+$", std::string(30, 'a') + "b"));
  EXPECT_EQ(re.match_count(), 0);
  // A hang check, not a speed check: unbounded backtracking would take far longer than this.
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(60));

  // Matches found before the limit is reached stand.
  ASSERT_TRUE(re.create("x|(a+)+$", "x" + std::string(30, 'a') + "b"));
  EXPECT_EQ(all_matches(re), "x");
}

TEST(RegexObject, Replace) {
  struct Row {
    const char* name;
    Text pattern;
    Text subject;
    bool global;
    Text replacement;
    Text want;
  } rows[] = {
      {"first match only", "a", "banana", false, "o", "bonana"},
      {"every match", "a", "banana", true, "o", "bonono"},
      {"omitted replacement removes", "a", "banana", true, Text(), "bnn"},
      {"groups", "(\\w+)@(\\w+)", "x me@host y", true, "$2 at $1", "x host at me y"},
      {"whole match, before, after", "b", "abc", true, "[$&|$`|$']", "a[b|a|c]c"},
      {"dollar sign", "b", "abc", true, "$$1", "a$1c"},
      {"missing group is literal", "(b)", "abc", true, "$2$0$", "a$2$0$c"},
      {"one-digit group then a digit", "(b)", "abc", true, "$10", "ab0c"},
      {"group that took no part", "(x)?b", "abc", true, "<$1>", "a<>c"},
      {"Chinese", ZH("文"), ZH("中文字"), true, ZH("国"), ZH("中国字")},
      {"empty matches", "x*", "ab", true, "-", "-a-b-"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    RegexObject re;
    ASSERT_TRUE(re.create(r.pattern, r.subject, false, true, r.global));
    EXPECT_EQ(re.replace(r.replacement), r.want);
  }
}

TEST(RegexObject, MatchAndGroupTexts) {
  RegexObject re;
  ASSERT_TRUE(re.create("(\\d)(x)?", "a1 b2x"));
  struct Row {
    const char* name;
    int match;
    std::optional<int> group;  // none: match_text
    Text want;
  } rows[] = {
      {"match 1", 1, {}, "1"},
      {"match 2", 2, {}, "2x"},
      {"match 0", 0, {}, Text()},
      {"match past the last", 3, {}, Text()},
      {"negative match", -1, {}, Text()},
      {"group 1", 2, 1, "2"},
      {"group 2", 2, 2, "x"},
      {"group that took no part", 1, 2, Text()},
      {"group 0", 1, 0, Text()},
      {"group past the last", 1, 3, Text()},
      {"group of a missing match", 5, 1, Text()},
      {"extreme indices", -2147483647 - 1, -2147483647 - 1, Text()},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const Text got = r.group ? re.submatch_text(r.match, *r.group) : re.match_text(r.match);
    EXPECT_EQ(got, r.want);
  }
  EXPECT_EQ(re.submatch_count(), 2);
}

// Positions are 0-based byte offsets in the subject, while the component counts characters.
TEST(RegexObject, Positions) {
  struct Row {
    const char* name;
    Text pattern;
    Text subject;
    bool case_sensitive;
    int match, group;  // group 0: match_text
    Text want_text;
    int want_position;
  } rows[] = {
      {"plain", "abc", "xyz abc", false, 1, 0, "abc", 4},
      {"after Chinese text", "abc", ZH("中文abc"), false, 1, 0, "abc", 4},
      {"second match after Chinese text", "abc", ZH("中文abc中文abc"), false, 2, 0, "abc", 11},
      {"same text earlier in another case", "abc", ZH("中中ABCabc"), true, 1, 0, "abc", 7},
      {"Chinese match", ZH("文."), ZH("中文字"), false, 1, 0, ZH("文字"), 2},
      {"euro sign counts one byte", "b", "\x80" "b", false, 1, 0, "b", 1},
      {"undecodable byte counts one byte", "b", "\xFF" "b", false, 1, 0, "b", 1},
      {"group", "x(b+)", ZH("中xbb"), false, 1, 1, "bb", 3},
      {"group, letter case significant", "a(A)", "aA", true, 1, 1, "A", 1},
      {"group text also earlier in its match", "a(a)", "aa", false, 1, 1, "a", 0},
      {"missing match: empty text", "abc", "xyz abc", false, 2, 0, Text(), 0},
      {"missing group: empty text", "abc", "xyz abc", false, 1, 1, Text(), 0},
      {"empty text in an empty subject", "x*", "", false, 1, 0, Text(), -2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    RegexObject re;
    ASSERT_TRUE(re.create(r.pattern, r.subject, r.case_sensitive));
    int position = 12345;
    const Text got = r.group == 0 ? re.match_text(r.match, &position)
                                  : re.submatch_text(r.match, r.group, &position);
    EXPECT_EQ(got, r.want_text);
    EXPECT_EQ(position, r.want_position);
  }
}

TEST(RegexObject, BeforeFirstCreate) {
  RegexObject re;
  int position = 12345;
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_EQ(re.submatch_count(), 0);
  EXPECT_TRUE(re.match_text(1, &position).empty());
  EXPECT_EQ(position, 0);  // the empty text, searched in the subject "0"
  EXPECT_TRUE(re.submatch_text(1, 1).empty());
  EXPECT_TRUE(re.pattern().empty());
  EXPECT_TRUE(re.replace("x").empty());
}

TEST(RegexObject, ApartmentBalancedOncePerObject) {
  const int base = co_initialize_count();
  {
    RegexObject a;
    EXPECT_EQ(co_initialize_count(), base + 1);
    {
      RegexObject b = a.copy();
      EXPECT_EQ(co_initialize_count(), base + 2);
      b.destroy();
      EXPECT_EQ(co_initialize_count(), base + 1);
      b.destroy();
      EXPECT_EQ(co_initialize_count(), base + 1);
    }  // b's destructor: already destroyed
    EXPECT_EQ(co_initialize_count(), base + 1);

    RegexObject moved = std::move(a);  // the source gives up its release
    EXPECT_EQ(co_initialize_count(), base + 1);
    moved = RegexObject();  // the replaced object is released, the new one takes its place
    EXPECT_EQ(co_initialize_count(), base + 1);
  }
  EXPECT_EQ(co_initialize_count(), base);
}

TEST(RegexObject, CopySharesTheSearch) {
  RegexObject original;
  ASSERT_TRUE(original.create("a", "banana"));
  RegexObject copy = original.copy();
  original.destroy();
  EXPECT_EQ(original.match_count(), 0);
  EXPECT_EQ(copy.match_count(), 3);
  int position = -1;
  EXPECT_EQ(copy.match_text(3, &position), Text("a"));
  EXPECT_EQ(position, 5);
  EXPECT_EQ(copy.replace("o"), Text("bonono"));
  EXPECT_EQ(copy.pattern(), Text("a"));

  // A new search on the copy leaves the original's objects alone and vice versa.
  RegexObject second = copy.copy();
  ASSERT_TRUE(second.create("n", "banana"));
  EXPECT_EQ(second.match_count(), 2);
  EXPECT_EQ(copy.match_count(), 3);
}

}  // namespace
