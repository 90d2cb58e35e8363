// The declared-charset conversion on arbitrary response bodies: the text up to the first zero
// byte and the bytes whole, as the response handling passes them. No crash, no hang, the
// automation apartment left as found, and a body without a charset declaration unchanged.
//
// Input: the body.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "fuzz/fuzz_input.h"
#include "net/charset.h"
#include "platform/automation/automation.h"

namespace {

bool contains_ignoring_case(std::string_view text, std::string_view lower_marker) {
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::search(text.begin(), text.end(), lower_marker.begin(), lower_marker.end(),
                     [&](char a, char b) { return fold(a) == b; }) != text.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > fuzz::kMaxLen) return 0;
  using fuzz::check;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const ByteSet body_bytes{std::string(input)};
  const Text body_text = bytes_to_text(body_bytes);

  const int apartment = platform::automation::co_initialize_count();
  const Text result = convert_declared_charset(body_text, body_bytes);
  check(platform::automation::co_initialize_count() == apartment, "apartment balanced", input);
  // The search sees the text decoded from CP936, where a byte the decoding rejects no longer
  // takes the byte after it: look for the marker at every byte.
  if (!contains_ignoring_case(text_left(body_text, 1024).view(), "charset=")) {
    check(result == body_text, "no declaration, no conversion", input);
  }
  return 0;
}
