// Tables of cases for the text, byte-set and array primitives.
//
// GBK bytes are written as hex escapes. A string literal is split where a hex escape would
// otherwise swallow the next character ("\xA1\xA1" "a"). Rows that hold ASCII trail bytes
// (81 5C, 81 7C, DF 5C) guard against byte-wise searching, splitting and replacing.
#include "base/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "base/literal.h"
#include "tests/base/text_test_util.h"

namespace {

using text_test::IsResult;
using text_test::Members;
using text_test::members;
using text_test::shown;

struct ResultRow {
  const char* name;
  Text got;
  std::string want;
};

void expect_rows(const std::vector<ResultRow>& rows) {
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(IsResult(row.got, row.want));
  }
}

struct IntRow {
  const char* name;
  int got;
  int want;
};

void expect_rows(const std::vector<IntRow>& rows) {
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.got, row.want);
  }
}

// ---- absent and empty ----

TEST(TextAbsent, ConstructionAndPointers) {
  EXPECT_TRUE(Text().absent());
  EXPECT_EQ(Text().c_str_or_null(), nullptr);
  EXPECT_TRUE(Text(static_cast<const char*>(nullptr)).absent());

  Text empty("");
  EXPECT_FALSE(empty.absent());
  ASSERT_NE(empty.c_str_or_null(), nullptr);
  EXPECT_EQ(*empty.c_str_or_null(), '\0');
  EXPECT_EQ(Text(), empty);  // equal as values
}

TEST(TextAbsent, EmptyResultsAreAbsentExceptConcat) {
  expect_rows({
      {"text_left of a present empty text", text_left(Text(""), 3), ""},
      {"text_right n 0", text_right("abc", 0), ""},
      {"text_mid past the end", text_mid("abc", 4, 1), ""},
      {"blank_text 0", blank_text(0), ""},
      {"blank_text -2", blank_text(-2), ""},
      {"char_text 0", char_text(0), ""},
      {"char_text 256 (low byte 0)", char_text(256), ""},
      {"char_text -256 (low byte 0)", char_text(-256), ""},
      {"lower_text of empty", lower_text(Text("")), ""},
      {"trim_text of spaces", trim_text("   "), ""},
      {"remove_spaces of spaces", remove_spaces(" \xA1\xA1 "), ""},
      {"replace_text deleting everything", replace_text("aa", "a"), ""},
      {"replace_text of a present empty text", replace_text(Text(""), "a", "b"), ""},
      {"bytes_to_text of a leading zero", bytes_to_text(ByteSet(std::string("\0ab", 3))), ""},
  });

  // A platform call receives the absent one-byte text as a null pointer.
  EXPECT_EQ(char_text(0).c_str_or_null(), nullptr);

  for (const Text& t : {concat_text(Text(), Text()), concat_text(Text("")), concat_text(Text())}) {
    EXPECT_FALSE(t.absent()) << shown(t);
    EXPECT_TRUE(t.empty()) << shown(t);
    ASSERT_NE(t.c_str_or_null(), nullptr);
  }
  EXPECT_TRUE(IsResult(concat_text("a", Text(), "", "b"), "ab"));
}

TEST(TextAbsent, AbsentArgumentsBehaveAsEmpty) {
  expect_rows({
      {"text_length", text_length(Text()), 0},
      {"find_text empty in absent", find_text(Text(), Text()), -1},
      {"find_text absent sub", find_text("abc", Text()), 1},
      {"find_text in absent", find_text(Text(), "a"), -1},
      {"find_text_reverse absent sub", find_text_reverse("abc", Text()), 1},
      {"compare_text absent and empty", compare_text(Text(), ""), 0},
      {"compare_text absent first", compare_text(Text(), "a"), -1},
      {"text_to_int", text_to_int(Text()), 0},
      {"split_text", array_count(split_text(Text())), 0},
      {"text_to_bytes", bytes_length(text_to_bytes(Text())), 0},
  });
  EXPECT_TRUE(IsResult(replace_text("abc", Text(), "x"), "abc"));
  EXPECT_TRUE(IsResult(replace_text("abc", "b", Text()), "ac"));
}

// ---- measuring and cutting ----

TEST(TextCutting, CountsPlainBytes) {
  const Text& zhongwen = ZH("中文");  // D6 D0 CE C4
  ASSERT_EQ(zhongwen.bytes(), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(text_length(zhongwen), 4);
  expect_rows({
      {"left 5 of abc", text_left("abc", 5), "abc"},
      {"left 2", text_left("abc", 2), "ab"},
      {"left 0", text_left("abc", 0), ""},
      {"left -1", text_left("abc", -1), ""},
      {"left INT_MAX", text_left("abc", INT_MAX), "abc"},
      {"right 2", text_right("abc", 2), "bc"},
      {"right 5", text_right("abc", 5), "abc"},
      {"right 0", text_right("abc", 0), ""},
      {"right -3", text_right("abc", -3), ""},
      {"mid 5,10 of abcdef", text_mid("abcdef", 5, 10), "ef"},
      {"mid 6,1", text_mid("abcdef", 6, 1), "f"},
      {"mid 1,6", text_mid("abcdef", 1, 6), "abcdef"},
      {"mid 7", text_mid("abcdef", 7, 1), ""},
      {"mid 0", text_mid("abcdef", 0, 3), ""},
      {"mid -1", text_mid("abcdef", -1, 3), ""},
      {"mid n 0", text_mid("abcdef", 2, 0), ""},
      {"mid n -1", text_mid("abcdef", 2, -1), ""},
      {"mid n INT_MAX (no overflow)", text_mid("abcdef", 2, INT_MAX), "bcdef"},
      {"mid start INT_MAX", text_mid("abcdef", INT_MAX, 1), ""},
      {"left 3 of two characters splits the second", text_left(zhongwen, 3), "\xD6\xD0\xCE"},
      {"right 1 of two characters", text_right(zhongwen, 1), "\xC4"},
      {"mid 2,2 across a character boundary", text_mid(zhongwen, 2, 2), "\xD0\xCE"},
      {"left of absent", text_left(Text(), 3), ""},
  });
}

// ---- searching ----

struct FindRow {
  const char* name;
  Text text;
  Text sub;
  int start;
  bool case_blind;
  int want;
};

TEST(FindText, Forward) {
  const FindRow rows[] = {
      {"b in abcabc", "abcabc", "b", 1, false, 2},
      {"from 2 finds at 2", "abcabc", "b", 2, false, 2},
      {"from 3", "abcabc", "b", 3, false, 5},
      {"from 6, after the last b", "abcabc", "b", 6, false, -1},
      {"c from the last byte", "abcabc", "c", 6, false, 6},
      {"from 7, past the end", "abcabc", "b", 7, false, -1},
      {"from 0", "abcabc", "b", 0, false, 2},
      {"from -5", "abcabc", "b", -5, false, 2},
      {"from INT_MAX", "abcabc", "b", INT_MAX, false, -1},
      {"sub equal to the text", "abc", "abc", 1, false, 1},
      {"sub longer than the text", "ab", "abc", 1, false, -1},
      {"sub running past the end", "abcab", "abc", 2, false, -1},
      {"empty sub", "abc", "", 1, false, 1},
      {"empty sub from 3 still gives 1", "abc", "", 3, false, 1},
      {"empty sub past the end", "abc", "", 4, false, -1},
      {"empty sub in empty text", "", "", 1, false, -1},
      {"B exact", "abc", "B", 1, false, -1},
      {"B case blind", "abc", "B", 1, true, 2},
      {"b case blind in upper case", "xABC", "b", 1, true, 3},
      {"case blind folds letters only: [ and {", "a[", "{", 1, true, -1},
      {"case blind folds letters only: @ and `", "a@", "`", 1, true, -1},
      {"case blind folds a trail byte letter", "\x81\x41", "\x81\x61", 1, true, 1},
      {"exact does not fold a trail byte", "\x81\x41", "\x81\x61", 1, false, -1},
      {"case blind keeps \\ and | apart", "\x81\x5C", "\x81\x7C", 1, true, -1},
      {"no match at a second byte: B0 A1 B0 A1", "\xB0\xA1\xB0\xA1", "\xA1\xB0", 1, false, -1},
      {"\\ inside 81 5C", "\x81\x5C", "\\", 1, false, -1},
      {"| inside 81 7C", "\x81\x7C", "|", 1, false, -1},
      {"\\ after DF 5C", "\xDF\x5C\\", "\\", 1, false, 3},
      {"| after 81 7C", "a\x81\x7C|", "|", 1, false, 4},
      {"trail byte searched as a character", "\x81\x5C", "\x5C", 1, true, -1},
      {"a double-byte character after another", "\xCE\xC4\xD6\xD0", "\xD6\xD0", 1, false, 3},
      {"lead byte at the very end matches", "ab\x81", "\x81", 1, false, 3},
      {"lead byte at the very end, two-byte sub", "ab\x81", "\x81\x61", 1, false, -1},
      {"sub ending in the last lead byte", "ab\x81", "b\x81", 1, false, 2},
      {"nothing after a lead byte at the end", "\x81", "x", 1, false, -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(find_text(row.text, row.sub, row.start, row.case_blind), row.want);
  }
  // The defaults: from the beginning, letter case significant.
  EXPECT_EQ(find_text("abcabc", "c"), 3);
  EXPECT_EQ(find_text("abc", "B"), -1);
}

TEST(FindText, Reverse) {
  const FindRow rows[] = {
      {"abc in abcabc, whole text", "abcabc", "abc", kAfterEnd, false, 4},
      {"start 7, just after the end", "abcabc", "abc", 7, false, 4},
      {"start 6: the one at 4 does not lie wholly before", "abcabc", "abc", 6, false, 1},
      {"start 4: ends at 3, wholly before", "abcabc", "abc", 4, false, 1},
      {"start 3", "abcabc", "abc", 3, false, -1},
      {"start 1", "abcabc", "abc", 1, false, -1},
      {"start 0", "abcabc", "abc", 0, false, -1},
      {"start -4", "abcabc", "abc", -4, false, -1},
      {"start far past the end", "abcabc", "abc", 100, false, 4},
      {"empty sub", "abc", "", kAfterEnd, false, 1},
      {"empty sub start 2", "abc", "", 2, false, 1},
      {"empty sub start 1", "abc", "", 1, false, -1},
      {"empty sub in empty text", "", "", kAfterEnd, false, -1},
      {"B exact", "abcb", "B", kAfterEnd, false, -1},
      {"B case blind", "abcb", "B", kAfterEnd, true, 4},
      {"case blind folds a trail byte letter", "\x81\x41", "\x81\x61", kAfterEnd, true, 1},
      {"\\ before 81 5C", "\\\x81\x5C", "\\", kAfterEnd, false, 1},
      {"| before 81 7C", "|\x81\x7C", "|", kAfterEnd, false, 1},
      {"\\ between DF 5C pairs", "\xDF\x5C\\\xDF\x5C", "\\", kAfterEnd, false, 3},
      {"no match at a second byte", "\xB0\xA1\xB0\xA1", "\xA1\xB0", kAfterEnd, false, -1},
      {"pair cut by start", "\x81\x5C\x81\x5C", "\x81\x5C", 4, false, 1},
      {"lead byte at the very end", "\x81\x61\x81", "\x81", kAfterEnd, false, 3},
      {"after a match on a lead byte, its trail byte is skipped", "\x81\x81x", "\x81", kAfterEnd,
       false, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(find_text_reverse(row.text, row.sub, row.start, row.case_blind), row.want);
  }
  EXPECT_EQ(find_text_reverse("abcabc", "b"), 5);
  EXPECT_EQ(find_text_reverse("abc", "B"), -1);
}

// ---- comparing ----

TEST(CompareText, OrderAndLetterCase) {
  struct Row {
    const char* name;
    Text a;
    Text b;
    bool case_sensitive;
    int want;  // exact when case-sensitive, else only the sign counts
  };
  const Row rows[] = {
      {"equal", "abc", "abc", true, 0},
      {"first differing byte", "abc", "abd", true, -1},
      {"first differing byte, after", "abd", "abc", true, 1},
      {"far apart bytes still give 1", "z", "A", true, 1},
      {"prefix first", "ab", "abc", true, -1},
      {"longer after", "abc", "ab", true, 1},
      {"empty first", "", "a", true, -1},
      {"bytes unsigned: 80 after a", "\x80", "a", true, 1},
      {"double-byte after ASCII", "a", "\xB0\xA1", true, -1},
      {"B before a exactly", "B", "a", true, -1},
      {"B after a ignoring case", "B", "a", false, 1},
      {"ABC equals abc ignoring case", "ABC", "abc", false, 0},
      {"ABC differs from abc exactly", "ABC", "abc", true, -1},
      {"abc before ABD ignoring case", "abc", "ABD", false, -1},
      {"prefix first ignoring case", "AB", "abc", false, -1},
      {"[ and { differ ignoring case", "[", "{", false, -1},
      {"trail byte letters are not folded", "\x81\x41", "\x81\x61", false, -1},
      {"equal double-byte characters", "\x81\x41", "\x81\x41", false, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    int got = compare_text(row.a, row.b, row.case_sensitive);
    if (row.case_sensitive) {
      EXPECT_EQ(got, row.want);
    } else {
      EXPECT_EQ((got > 0) - (got < 0), row.want) << "got " << got;
    }
  }
  EXPECT_EQ(compare_text("B", "a"), -1);  // case-sensitive by default
}

// ---- building and transforming ----

TEST(TextBuilding, BlankCharLower) {
  const Text& abc_zhong = ZH("ABC中");
  expect_rows({
      {"blank 3", blank_text(3), "   "},
      {"blank 1", blank_text(1), " "},
      {"char 65", char_text(65), "A"},
      {"char low 8 bits of 0x141", char_text(0x141), "A"},
      {"char -1 is FF", char_text(-1), "\xFF"},
      {"char 0xB0", char_text(0xB0), "\xB0"},
      {"lower ABC and a double-byte character", lower_text(abc_zhong), "abc\xD6\xD0"},
      {"lower leaves a trail byte letter", lower_text("\x81\x41Z"), "\x81\x41z"},
      {"lower with a lead byte at the end", lower_text("A\x81"), "a\x81"},
      {"lower only A to Z", lower_text("@AZ[`az{"), "@az[`az{"},
      {"lower leaves high bytes", lower_text("\xC1\xC1\xDA"), "\xC1\xC1\xDA"},
  });
  std::string all;
  for (int b = 1; b < 0x80; ++b) all += static_cast<char>(b);
  std::string want = all;
  for (char& c : want) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  EXPECT_TRUE(IsResult(lower_text(Text(all)), want));
}

TEST(TextBuilding, TrimAndRemoveSpaces) {
  // The formatter would break the adjacent literals that keep hex escapes apart.
  // clang-format off
  expect_rows({
      {"trim ascii spaces", trim_text("  a b  "), "a b"},
      {"trim only spaces and full-width spaces", trim_text("  \xA1\xA1 \xA1\xA1"), ""},
      {"trim full-width spaces", trim_text("\xA1\xA1" "a\xA1\xA1"), "a"},
      {"trim keeps inner spaces", trim_text(" a\xA1\xA1" "b "), "a\xA1\xA1" "b"},
      {"trim: a leading tab stays", trim_text("\ta "), "\ta"},
      {"trim: a trailing tab stays", trim_text(" a\t"), "a\t"},
      {"trim: CR LF stay", trim_text("\r\na\n"), "\r\na\n"},
      {"trim: A1 A1 bytes split across characters are not a space",
       trim_text("\xC4\xA1\xA1"), "\xC4\xA1\xA1"},
      {"trim: C4 A1 then a full-width space", trim_text("\xC4\xA1\xA1\xA1"), "\xC4\xA1"},
      {"trim: space after a character ending in A1", trim_text("\xB0\xA1\xA1\xA1 "), "\xB0\xA1"},
      {"trim: a lone A1 at the end", trim_text(" \xA1"), "\xA1"},
      {"trim: full-width space then a lone A1", trim_text("\xA1\xA1\xA1"), "\xA1"},
      {"trim: space as a trail byte stays", trim_text("\xC4 "), "\xC4 "},
      {"remove around =", remove_spaces("a = 1"), "a=1"},
      {"remove both kinds, keep a tab", remove_spaces("a\xA1\xA1" "b c\t"), "abc\t"},
      {"remove: A1 41 is a character", remove_spaces("\xC4\xA1\xA1\x41"), "\xC4\xA1\xA1\x41"},
      {"remove: space as a trail byte stays", remove_spaces("\xC4 a"), "\xC4 a"},
      {"remove: lead byte at the end", remove_spaces("a \xA1"), "a\xA1"},
  });
  // clang-format on
}

TEST(ReplaceText, Rows) {
  struct Row {
    const char* name;
    Text text;
    Text sub;
    Text replacement;
    int start;
    int count;
    bool case_sensitive;
    std::string want;
  };
  const Row rows[] = {
      {"header name, lower case", "set-cookie: a", "Set-Cookie", "Set-Cookie", 1, -1, false,
       "Set-Cookie: a"},
      {"header name, upper case", "SET-COOKIE: a", "Set-Cookie", "Set-Cookie", 1, -1, false,
       "Set-Cookie: a"},
      {"from start 3", "aXbXc", "X", "-", 3, -1, false, "aXb-c"},
      {"count 1", "aXbXc", "X", "-", 1, 1, false, "a-bXc"},
      {"count 2 of 3", "aXbXcX", "X", "-", 1, 2, false, "a-b-cX"},
      {"count 0", "aXbXc", "X", "-", 1, 0, false, "aXbXc"},
      {"count -5 is all", "aXbXc", "X", "-", 1, -5, false, "a-b-c"},
      {"empty sub", "aXbXc", "", "-", 1, -1, false, "aXbXc"},
      {"ignoring case", "aXbxc", "x", "-", 1, -1, false, "a-b-c"},
      {"case-sensitive", "aXbxc", "x", "-", 1, -1, true, "aXb-c"},
      {"start 0 is the beginning", "aXb", "X", "-", 0, -1, false, "a-b"},
      {"start -3 is the beginning", "aXb", "X", "-", -3, -1, false, "a-b"},
      {"start at the last byte", "abc", "c", "X", 3, -1, false, "abX"},
      {"start after the last byte", "abc", "c", "X", 4, -1, false, "abc"},
      {"start far past the end", "abc", "c", "X", 100, -1, false, "abc"},
      {"start with count", "XaXaXa", "X", "-", 2, 1, false, "Xa-aXa"},
      {"replacement holding sub is not searched again", "aaa", "a", "aa", 1, -1, false, "aaaaaa"},
      {"occurrences do not overlap", "aaa", "aa", "b", 1, -1, false, "ba"},
      {"longer replacement", "a,b", ",", "<>", 1, -1, false, "a<>b"},
      {"sub longer than the text", "ab", "abc", "X", 1, -1, false, "ab"},
      {"\\ inside 81 5C stays", "\x81\x5C\\", "\\", "/", 1, -1, false, "\x81\x5C/"},
      {"| inside 81 7C stays", "\x81\x7C|x", "|", ",", 1, -1, false, "\x81\x7C,x"},
      {"\\ between DF 5C pairs", "\xDF\x5C\\\xDF\x5C", "\\", "/", 1, -1, false,
       "\xDF\x5C/\xDF\x5C"},
      {"no match at a second byte", "\xB0\xA1\xB0\xA1", "\xA1\xB0", "X", 1, -1, false,
       "\xB0\xA1\xB0\xA1"},
      {"ignoring case folds a trail byte letter", "\x81\x41", "\x81\x61", "Z", 1, -1, false, "Z"},
      {"case-sensitive keeps a trail byte letter", "\x81\x41", "\x81\x61", "Z", 1, -1, true,
       "\x81\x41"},
      {"ignoring case keeps [ and { apart", "[{", "{", "x", 1, -1, false, "[x"},
      {"lead byte at the very end replaced", "ab\x81", "\x81", "X", 1, -1, false, "abX"},
      {"lead byte at the very end kept", "a\x81", "b", "X", 1, -1, false, "a\x81"},
      {"everything deleted is absent", "aa", "a", "", 1, -1, false, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(IsResult(
        replace_text(row.text, row.sub, row.replacement, row.start, row.count, row.case_sensitive),
        row.want));
  }
  // The defaults: delete every occurrence, ignoring letter case.
  EXPECT_TRUE(IsResult(replace_text("a-B-b", "b"), "a--"));
  EXPECT_TRUE(IsResult(replace_text("aXbxc", "x", "-"), "a-b-c"));
}

TEST(SplitText, Rows) {
  struct Row {
    const char* name;
    Text text;
    Text delimiter;
    std::optional<int> max_members;
    Members want;
  };
  const auto absent = std::nullopt;
  const Row rows[] = {
      {"trailing delimiter makes no last member", "a,b,", ",", {}, {"a", "b"}},
      {"leading delimiter", ",a", ",", {}, {absent, "a"}},
      {"empty member in the middle", "a,,b", ",", {}, {"a", absent, "b"}},
      {"only a delimiter", ",", ",", {}, {absent}},
      {"two delimiters", ",,", ",", {}, {absent, absent}},
      {"empty text", "", ",", {}, {}},
      {"empty text, empty delimiter", "", "", {}, {}},
      {"no delimiter in the text", "abc", ",", {}, {"abc"}},
      {"empty delimiter", "abc", "", {}, {"abc"}},
      {"max 2", "a,b,c", ",", 2, {"a", "b"}},
      {"max 2 stops the scan", "a,b,c,d", ",", 2, {"a", "b"}},
      {"max 2, last member taken", "a,b", ",", 2, {"a", "b"}},
      {"max 2, trailing delimiter", "a,b,", ",", 2, {"a", "b"}},
      {"max 3 of three", "a,b,c", ",", 3, {"a", "b", "c"}},
      {"max 1", "a,b", ",", 1, {"a"}},
      {"max above the count", "a,b", ",", 5, {"a", "b"}},
      {"max counts empty members", ",,a", ",", 2, {absent, absent}},
      {"max 0", "a,b", ",", 0, {}},
      {"max -1", "a,b", ",", -1, {}},
      {"max 0, empty delimiter", "abc", "", 0, {}},
      {"delimiter letter case counts", "aXbxc", "x", {}, {"aXb", "c"}},
      {"two-byte delimiter", "a::b::", "::", {}, {"a", "b"}},
      {"overlapping delimiter", "a:::b", "::", {}, {"a", ":b"}},
      {"delimiter longer than the text", "ab", "abc", {}, {"ab"}},
      {"| inside 81 7C", "\x81\x7C|a", "|", {}, {"\x81\x7C", "a"}},
      {"\\ inside DF 5C and 81 5C", "\xDF\x5C\\b\x81\x5C", "\\", {}, {"\xDF\x5C", "b\x81\x5C"}},
      {"no delimiter at a second byte", "\xB0\xA1\xB0\xA1", "\xA1\xB0", {}, {"\xB0\xA1\xB0\xA1"}},
      {"a comma after a lead byte is a trail byte", "a,\x81,b", ",", {}, {"a", "\x81,b"}},
      {"lead byte at the very end", "a,\x81", ",", {}, {"a", "\x81"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TextArray got = row.max_members ? split_text(row.text, row.delimiter, *row.max_members)
                                    : split_text(row.text, row.delimiter);
    EXPECT_EQ(members(got), row.want) << shown(members(got));
  }
  EXPECT_EQ(members(split_text("a,b")), (Members{"a", "b"}));  // "," by default
}

TEST(TextToInt, Rows) {
  const Text& fullwidth_80 = ZH("８０");
  // The formatter would break the adjacent literals that keep hex escapes apart.
  // clang-format off
  expect_rows({
      {"leading space", text_to_int(" 8012"), 8012},
      {"stops at a letter", text_to_int("12ab"), 12},
      {"no digits", text_to_int("abc"), 0},
      {"empty", text_to_int(""), 0},
      {"minus", text_to_int("-7"), -7},
      {"plus", text_to_int("+5"), 5},
      {"two signs", text_to_int("+-5"), 0},
      {"space after the sign", text_to_int("- 5"), 0},
      {"minus zero", text_to_int("-0"), 0},
      {"leading zeros", text_to_int("007"), 7},
      {"stops at a space", text_to_int("1 2"), 1},
      {"all white space kinds", text_to_int("\t\n\v\f\r 42"), 42},
      {"full-width digits", text_to_int(fullwidth_80), 80},
      {"full-width space", text_to_int("\xA1\xA1" "42"), 42},
      {"full-width minus and seven", text_to_int("\xA3\xAD\xA3\xB7"), -7},
      {"full-width plus", text_to_int("\xA3\xAB" "9"), 9},
      {"mixed widths", text_to_int("12\xA3\xB3" "4"), 1234},
      {"full-width digit then a lone lead byte", text_to_int("\xA3\xB1\xA3"), 1},
      {"A3 A0 is not folded", text_to_int("\xA3\xA0" "5"), 0},
      {"full-width tilde stops", text_to_int("1\xA1\xAB" "2"), 1},
      {"digit as a trail byte is no digit", text_to_int("\x81\x35" "7"), 0},
      {"stops at a double-byte character", text_to_int("5\x81\x35"), 5},
      {"2^32 wraps to 0", text_to_int("4294967296"), 0},
      {"2^32 - 1 is -1", text_to_int("4294967295"), -1},
      {"2^31 is INT_MIN", text_to_int("2147483648"), INT_MIN},
      {"-(2^31 + 1) wraps", text_to_int("-2147483649"), INT_MAX},
      {"INT_MAX", text_to_int("2147483647"), INT_MAX},
      {"twenty nines", text_to_int("99999999999999999999"), 1661992959},
      {"minus twenty nines", text_to_int("-99999999999999999999"), -1661992959},
  });
  // clang-format on
}

// ---- byte sets ----

TEST(ByteSets, Primitives) {
  const std::string with_zero("ab\0c", 4);
  struct Row {
    const char* name;
    ByteSet got;
    std::string want;
  };
  const Row rows[] = {
      {"text_to_bytes has no terminator", text_to_bytes("ab"), "ab"},
      {"text_to_bytes of absent", text_to_bytes(Text()), ""},
      {"bytes_left 3 keeps the zero byte", bytes_left(ByteSet(with_zero), 3),
       std::string("ab\0", 3)},
      {"bytes_left 10", bytes_left(ByteSet(with_zero), 10), with_zero},
      {"bytes_left 0", bytes_left(ByteSet(with_zero), 0), ""},
      {"bytes_left -1", bytes_left(ByteSet(with_zero), -1), ""},
      {"blank_bytes 3", blank_bytes(3), std::string(3, '\0')},
      {"blank_bytes 0", blank_bytes(0), ""},
      {"blank_bytes -1", blank_bytes(-1), ""},
      {"concat of absent ones", concat_bytes(ByteSet(), ByteSet()), ""},
      {"concat keeps zero bytes",
       concat_bytes(ByteSet(std::string("a\0", 2)), ByteSet(), ByteSet(std::string("\0b", 2))),
       std::string("a\0\0b", 4)},
      {"bytes_at_address", bytes_at_address(with_zero.data(), 4), with_zero},
      {"bytes_at_address 0", bytes_at_address(with_zero.data(), 0), ""},
      {"bytes_at_address null, 0", bytes_at_address(nullptr, 0), ""},
      {"bytes_at_address -1", bytes_at_address(with_zero.data(), -1), ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.got.view(), row.want);
    EXPECT_EQ(bytes_length(row.got), static_cast<int>(row.want.size()));
  }

  expect_rows({
      {"bytes_to_text stops at the zero byte", bytes_to_text(ByteSet(with_zero)), "ab"},
      {"bytes_to_text without a zero byte", bytes_to_text(ByteSet(std::string("a\xB0\xA1"))),
       "a\xB0\xA1"},
      {"bytes_to_text of absent", bytes_to_text(ByteSet()), ""},
  });

  // A copy, not a view of the platform's buffer.
  std::string buffer = "xyz";
  ByteSet copy = bytes_at_address(buffer.data(), 3);
  buffer[0] = 'Q';
  EXPECT_EQ(copy.view(), "xyz");
}

TEST(ByteSets, Equal) {
  struct Row {
    const char* name;
    ByteSet a;
    ByteSet b;
    bool want;
  };
  const Row rows[] = {
      {"absent and empty", ByteSet(), ByteSet(std::string()), true},
      {"same bytes with a zero", ByteSet(std::string("a\0b", 3)), ByteSet(std::string("a\0b", 3)),
       true},
      {"differ after a zero byte", ByteSet(std::string("a\0b", 3)), ByteSet(std::string("a\0c", 3)),
       false},
      {"a prefix is not equal", ByteSet(std::string("a")), ByteSet(std::string("a\0", 2)), false},
      {"empty and one zero byte", ByteSet(), blank_bytes(1), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(bytes_equal(row.a, row.b), row.want);
    EXPECT_EQ(bytes_equal(row.b, row.a), row.want);
  }
}

// ---- arrays ----

TEST(TextArrays, AppendCopiesAndCounts) {
  TextArray array;
  EXPECT_EQ(array_count(array), 0);
  array_append(array, "x");
  array_append(array, Text());
  array_append(array, "y");
  ASSERT_EQ(array_count(array), 3);
  EXPECT_EQ(members(array), (Members{"x", std::nullopt, "y"}));

  // Appending an element of the array itself, across reallocations.
  for (int i = 0; i < 40; ++i) array_append(array, array[array_count(array)]);
  ASSERT_EQ(array_count(array), 43);
  EXPECT_TRUE(IsResult(array[43], "y"));
  EXPECT_TRUE(IsResult(array[1], "x"));

  // The element is a copy: the source may change afterwards.
  Text source("before");
  array_append(array, source);
  source = Text("after");
  EXPECT_TRUE(IsResult(array[44], "before"));
}

}  // namespace
