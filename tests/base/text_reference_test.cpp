// The searching, replacing and splitting primitives against the naive references of
// tests/base/text_reference.h on seeded random GBK texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "base/text.h"
#include "tests/base/text_reference.h"
#include "tests/base/text_test_util.h"

namespace {

using text_reference::reference_find;
using text_reference::reference_replace;
using text_reference::reference_split;
using text_test::escaped;
using text_test::Members;
using text_test::members;
using text_test::shown;

// ---- random GBK texts ----

// A small alphabet so that searches hit often: ASCII letters of both cases, the ASCII bytes that
// GBK uses as trail bytes (\ |), the delimiter, and double-byte characters whose trail bytes
// come from 40-7E (letters, \ and |) and 80-FE (including bytes that are lead bytes elsewhere).
class GbkSource {
 public:
  explicit GbkSource(std::uint32_t seed) : random_(seed) {}

  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool chance(int percent) { return below(100) < percent; }

  std::string character() {
    static constexpr char kSingle[] = {'a', 'A', 'b', 'B', 'z', '\\', '|', ',', ' ', '1'};
    static constexpr unsigned char kLead[] = {0x81, 0xB0, 0xDF, 0xA1, 0xFE};
    static constexpr unsigned char kTrail[] = {0x5C, 0x7C, 0x41, 0x61, 0x40, 0x7E,
                                               0x80, 0x81, 0xA1, 0xB0, 0xFE};
    if (chance(55)) return std::string(1, kSingle[below(sizeof kSingle)]);
    return {static_cast<char>(kLead[below(sizeof kLead)]),
            static_cast<char>(kTrail[below(sizeof kTrail)])};
  }

  // Up to `max_characters` characters, sometimes with a dangling lead byte at the end.
  std::string text(int max_characters) {
    std::string out;
    int n = below(max_characters + 1);
    for (int i = 0; i < n; ++i) out += character();
    if (chance(15)) out += static_cast<char>(0x81 + below(0x7E));
    return out;
  }

  // Either bytes cut from `from` at any byte offset (possibly inside a character), or a
  // made-up short text.
  std::string sub(std::string_view from) {
    if (!from.empty() && chance(60)) {
      auto offset = static_cast<std::size_t>(below(static_cast<int>(from.size())));
      auto n = static_cast<std::size_t>(chance(10) ? 0 : 1 + below(3));
      return std::string(from.substr(offset, n));
    }
    return text(2);
  }

  // `text` with up to three copies of `piece` put in at any byte offset, so that some land
  // after a lead byte and become part of a double-byte character.
  std::string sprinkled(std::string text, std::string_view piece) {
    for (int n = below(4); n > 0; --n) {
      text.insert(static_cast<std::size_t>(below(static_cast<int>(text.size()) + 1)), piece);
    }
    return text;
  }

  // A start position around the text, including 0, negative ones and past the end.
  int position(std::string_view around) { return below(static_cast<int>(around.size()) + 6) - 2; }

 private:
  std::mt19937 random_;
};

constexpr int kTexts = 4000;

std::string case_note(std::string_view text, std::string_view sub) {
  return "text \"" + escaped(text) + "\" sub \"" + escaped(sub) + "\"";
}

TEST(TextReference, FindForwardAndReverse) {
  GbkSource source(20240501);
  for (int i = 0; i < kTexts; ++i) {
    std::string text = source.text(12);
    for (int j = 0; j < 4; ++j) {
      std::string sub = source.sub(text);
      bool case_blind = source.chance(50);
      std::optional<int> start;
      if (source.chance(70)) start = source.position(text);

      int want = reference_find(text, sub, start, case_blind, false);
      int got =
          start ? find_text(text, sub, *start, case_blind) : find_text(text, sub, 1, case_blind);
      ASSERT_EQ(got, want) << "find_text " << case_note(text, sub) << " start "
                           << (start ? std::to_string(*start) : "omitted") << " case_blind "
                           << case_blind;

      want = reference_find(text, sub, start, case_blind, true);
      got = start ? find_text_reverse(text, sub, *start, case_blind)
                  : find_text_reverse(text, sub, kAfterEnd, case_blind);
      ASSERT_EQ(got, want) << "find_text_reverse " << case_note(text, sub) << " start "
                           << (start ? std::to_string(*start) : "omitted") << " case_blind "
                           << case_blind;
    }
  }
}

TEST(TextReference, Replace) {
  GbkSource source(7);
  for (int i = 0; i < kTexts; ++i) {
    const std::string base = source.text(12);
    for (int j = 0; j < 3; ++j) {
      std::string sub = source.sub(base);
      std::string text = source.sprinkled(base, sub);
      std::string replacement = source.chance(20) ? std::string() : source.text(2);
      int start = source.chance(50) ? 1 : source.position(text);
      int count = source.below(5) - 1;  // -1 (all) to 3
      bool case_sensitive = source.chance(50);

      std::string want = reference_replace(text, sub, replacement, start, count, case_sensitive);
      Text got = replace_text(text, sub, replacement, start, count, case_sensitive);
      ASSERT_EQ(got.bytes(), want)
          << "replace_text " << case_note(text, sub) << " replacement \"" << escaped(replacement)
          << "\" start " << start << " count " << count << " case_sensitive " << case_sensitive
          << "; want \"" << escaped(want) << "\", got " << shown(got);
      ASSERT_EQ(got.absent(), want.empty()) << shown(got);
    }
  }
}

TEST(TextReference, Split) {
  GbkSource source(99);
  for (int i = 0; i < kTexts; ++i) {
    const std::string base = source.text(14);
    for (int j = 0; j < 3; ++j) {
      std::string delimiter;
      switch (source.below(4)) {
        case 0:
          delimiter = ",";
          break;
        case 1:
          delimiter = source.chance(50) ? "\\" : "|";
          break;
        default:
          delimiter = source.sub(base);
          break;
      }
      std::string text = source.sprinkled(base, delimiter);
      std::optional<int> max_members;
      if (source.chance(40)) max_members = source.below(5) - 1;

      Members want = reference_split(text, delimiter, max_members);
      TextArray got =
          max_members ? split_text(text, delimiter, *max_members) : split_text(text, delimiter);
      ASSERT_EQ(members(got), want)
          << "split_text " << case_note(text, delimiter) << " max_members "
          << (max_members ? std::to_string(*max_members) : "omitted") << "; got "
          << shown(members(got)) << ", want " << shown(want);
    }
  }
}

}  // namespace
