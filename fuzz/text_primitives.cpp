// The searching and transforming text primitives against their naive references
// (tests/base/text_reference.h), on arbitrary bytes. Any difference stops the run.
//
// Input: a flags byte, a 16-bit start position, a count byte, then the text, the searched text
// and the replacement, separated by zero bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"
#include "fuzz/fuzz_input.h"
#include "tests/base/text_reference.h"

namespace {

namespace ref = text_reference;
using fuzz::check;

// A primitive's result: `want` bytes, absent exactly when `want` is empty.
void check_result(const Text& got, const std::string& want, const char* what,
                  std::string_view input) {
  check(got.bytes() == want && got.absent() == want.empty(), what, input);
}

ref::Members members_of(const TextArray& array) {
  ref::Members out;
  for (const Text& t : array) {
    out.push_back(t.absent() ? std::nullopt : std::optional<std::string>(t.bytes()));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > fuzz::kMaxLen) return 0;
  fuzz::Input in(data, size);
  const std::uint8_t flags = in.byte();
  const int position = in.i16();
  const int count = static_cast<std::int8_t>(in.byte());
  const std::string_view s = in.until_zero();
  const std::string_view sub = in.until_zero();
  const std::string_view replacement = in.until_zero();
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const Text text = fuzz::text_of(s);
  const Text sub_text = fuzz::text_of(sub);
  const bool case_blind = flags & 1;
  const std::optional<int> start = flags & 2 ? std::optional<int>(position) : std::optional<int>();

  check(find_text(text, sub_text, start.value_or(1), case_blind) ==
            ref::reference_find(s, sub, start, case_blind, false),
        "find_text", input);
  check(find_text_reverse(text, sub_text, start.value_or(kAfterEnd), case_blind) ==
            ref::reference_find(s, sub, start, case_blind, true),
        "find_text_reverse", input);

  const bool case_sensitive = flags & 4;
  const int replace_start = flags & 8 ? position : 1;
  check_result(replace_text(text, sub_text, fuzz::text_of(replacement), replace_start, count,
                            case_sensitive),
               ref::reference_replace(s, sub, replacement, replace_start, count, case_sensitive),
               "replace_text", input);

  // The searched text serves as the delimiter (an empty one gives the whole text).
  const std::optional<int> max_members =
      flags & 16 ? std::optional<int>(count) : std::optional<int>();
  check(members_of(split_text(text, sub_text, max_members)) ==
            ref::reference_split(s, sub, max_members),
        "split_text", input);

  check_result(trim_text(text), ref::reference_trim(s), "trim_text", input);
  check_result(remove_spaces(text), ref::reference_remove_spaces(s), "remove_spaces", input);
  check_result(lower_text(text), ref::reference_lower(s), "lower_text", input);
  check(text_to_int(text) == ref::reference_to_int(s), "text_to_int", input);
  return 0;
}
