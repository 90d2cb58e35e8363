// The regular-expression object with pattern, subject and options from the input: every read
// operation called, on the object and on a copy. No crash, no hang, and the properties of the
// results: a match's position leads to the match's text in the subject, and indices outside the
// matches and groups give the empty text.
//
// Input: a flags byte (case_sensitive, multiline, global, expand_quotes), a match index and a
// group index (one signed byte each), then the pattern, the subject and the replacement,
// separated by zero bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/regex_object.h"
#include "base/text.h"
#include "fuzz/fuzz_input.h"
#include "platform/codepage/codepage.h"

namespace {

using fuzz::check;

// The subject as the object holds it: through UTF-16 and back, malformed bytes replaced.
std::string held_subject(const Text& subject) {
  return platform::codepage::utf16_to_cp936(platform::codepage::cp936_to_utf16(subject.view()));
}

void check_match(const RegexObject& regex, int i, const std::string& subject,
                 std::string_view input) {
  int position = -7;
  const Text value = regex.match_text(i, &position);
  if (value.empty()) return;
  check(position >= 0 && subject.compare(static_cast<std::size_t>(position), value.view().size(),
                                         value.view()) == 0,
        "a match's position leads to its text", input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > fuzz::kMaxLen) return 0;
  fuzz::Input in(data, size);
  const std::uint8_t flags = in.byte();
  const int match_index = static_cast<std::int8_t>(in.byte());
  const int group_index = static_cast<std::int8_t>(in.byte());
  const Text pattern = fuzz::text_of(in.until_zero());
  const Text subject = fuzz::text_of(in.until_zero());
  const Text replacement = fuzz::text_of(in.until_zero());
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  RegexObject regex;
  const bool ran = regex.create(pattern, subject, flags & 1, flags & 2, flags & 4, flags & 8);
  regex.pattern();
  regex.replace(replacement);
  const int count = regex.match_count();
  const int groups = regex.submatch_count();
  check(ran || (count == 0 && groups == 0), "a search that could not run has no matches", input);
  check(count >= 0 && groups >= 0, "counts are not negative", input);

  int position = 0;
  regex.match_text(match_index, &position);
  regex.submatch_text(match_index, group_index, &position);
  check(regex.match_text(0).empty() && regex.match_text(count + 1).empty() &&
            regex.submatch_text(1, 0).empty() && regex.submatch_text(1, groups + 1).empty(),
        "indices outside the matches and groups give the empty text", input);

  // The first matches, the last one, and the groups of the first.
  const std::string held = held_subject(subject);
  for (int i = 1; i <= std::min(count, 16); ++i) check_match(regex, i, held, input);
  if (count > 16) check_match(regex, count, held, input);
  for (int g = 1; g <= groups; ++g) regex.submatch_text(1, g, &position);

  const RegexObject copy = regex.copy();
  check(copy.match_count() == count && copy.pattern() == regex.pattern() &&
            copy.match_text(1) == regex.match_text(1) &&
            copy.replace(replacement) == regex.replace(replacement),
        "a copy reads as the original", input);
  return 0;
}
