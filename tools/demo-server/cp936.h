#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace demo {

// Converts UTF-8 text to CP936 (GBK) bytes. Empty when iconv lacks the code page or the text
// holds a character CP936 cannot represent.
std::optional<std::string> to_cp936(std::string_view utf8);

}  // namespace demo
