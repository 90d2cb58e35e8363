#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace demo {

// A QR code of `text` as PNG bytes: 8-bit grey, `module_px` pixels per module and a quiet zone
// of four modules. Empty when the text does not fit a QR code or encoding fails.
std::optional<std::string> qr_png(std::string_view text, int module_px = 4);

}  // namespace demo
