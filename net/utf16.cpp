#include "net/utf16.h"

#include <cstring>
#include <string>

#include "platform/codepage/codepage.h"

ByteSet to_utf16_bytes(const Text& text, bool drop_terminator) {
  if (text.empty()) return ByteSet();
  const std::u16string units = platform::codepage::cp936_to_utf16(text.view());
  std::string bytes((units.size() + 1) * 2, '\0');  // the terminator stays zero
  std::memcpy(bytes.data(), units.data(), units.size() * 2);
  if (drop_terminator) bytes.resize(bytes.size() - 2);
  return ByteSet(std::move(bytes));
}

Text from_utf16_bytes(const ByteSet& bytes) {
  std::u16string units(static_cast<std::size_t>(bytes_length(bytes) / 2), u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  // Only the units before the first zero unit can reach the text: every other unit converts to
  // non-zero bytes, and the zero unit to the zero byte that ends it.
  const std::size_t zero = units.find(u'\0');
  if (zero != std::u16string::npos) units.resize(zero);
  return Text::result(platform::codepage::utf16_to_cp936(units));
}
