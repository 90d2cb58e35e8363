// Charset labels resolved as web browsers resolve them (the WHATWG Encoding Standard's label
// table): ASCII white space trimmed, ASCII letter case ignored, then an exact label match. Each
// standard encoding is mapped to the name glibc's iconv knows it by.
#pragma once

#include <span>
#include <string_view>

namespace platform::automation {

struct CharsetLabel {
  std::string_view label;     // lower case, as the standard lists it
  std::string_view encoding;  // the standard's name of the encoding
  const char* iconv_name;     // null where no conversion is offered
};

// The iconv name of the encoding that `label` denotes; null for an unknown label, for the
// "replacement" encoding (whose labels name encodings that must not be decoded) and for
// "x-user-defined", which iconv lacks.
const char* iconv_name_for_label(std::string_view label);

// Every label of the table.
std::span<const CharsetLabel> charset_labels();

}  // namespace platform::automation
