// Conversion between byte encodings and UTF-16 (iconv underneath).
//
// Every conversion here is total: a malformed or incomplete input sequence becomes one
// replacement and the conversion goes on with the next byte; a character the target encoding
// cannot hold becomes one replacement too. The replacement is U+FFFD when the target is UTF-16
// and "?" when it is a byte encoding. CP936 is Windows code page 936 (GBK with 0x80 as the euro
// sign).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::codepage {

// CP936 bytes to UTF-16 code units, in the role of MultiByteToWideChar for code page 936.
std::u16string cp936_to_utf16(std::string_view bytes);
// UTF-16 code units to CP936 bytes, in the role of WideCharToMultiByte for code page 936.
std::string utf16_to_cp936(std::u16string_view units);
// UTF-8 to CP936; used for the program's own literals.
std::string utf8_to_cp936(std::string_view utf8);
std::string cp936_to_utf8(std::string_view bytes);

// Bytes in `from` to bytes in `to`, both iconv names. Empty optional when iconv does not know
// one of the two names.
std::optional<std::string> convert(std::string_view bytes, const char* from, const char* to);

}  // namespace platform::codepage
