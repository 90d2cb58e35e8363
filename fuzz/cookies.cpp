// Collecting Set-Cookie lines and merging cookie strings, on arbitrary bytes: no crash, no hang,
// and the properties of a merged cookie string.
//
// Input: the raw headers, the old cookie string and the new one, separated by zero bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/text.h"
#include "fuzz/fuzz_input.h"
#include "net/cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > fuzz::kMaxLen) return 0;
  using fuzz::check;
  fuzz::Input in(data, size);
  const Text headers = fuzz::text_of(in.until_zero());
  const Text old_in = fuzz::text_of(in.until_zero());
  const Text new_in = fuzz::text_of(in.until_zero());
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  collect_set_cookies(headers);

  Text old_cookies = old_in;
  Text new_cookies = new_in;
  const Text merged = merge_cookies(old_cookies, new_cookies);
  check(old_cookies == merged && old_cookies.absent() == merged.absent(),
        "old holds the merged string", input);
  check(new_cookies == remove_spaces(new_in), "new holds its input without spaces", input);

  for (const Text& pair : split_text(merged, "; ")) {
    check(!pair.view().ends_with("=deleted"), "no deleted pair is merged", input);
  }
  // Stepping character by character, as the primitives do: the only space characters left are
  // the blanks of the "; " separators.
  const std::string_view m = merged.view();
  for (std::size_t p = 0; p < m.size();) {
    const auto c = static_cast<unsigned char>(m[p]);
    if (c >= 0x80 && p + 1 < m.size()) {
      check(!(c == 0xA1 && static_cast<unsigned char>(m[p + 1]) == 0xA1),
            "no full-width space is merged", input);
      p += 2;
      continue;
    }
    check(c != ' ' || (p > 0 && m[p - 1] == ';'), "a blank only after a separator", input);
    ++p;
  }
  return 0;
}
