// PNG decoding on arbitrary bytes: no crash, no hang, no unbounded allocation, and a decoded
// image that is what it claims to be.
//
// Input: a flags byte, then the PNG bytes. Flag 1 asks for premultiplied ARGB32 words; flag 2
// rewrites the CRC of every whole chunk first, so that mutated chunk contents get past the CRC
// check and reach the decoder (without it the CRC paths are fuzzed instead).
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "platform/picture/picture.h"

namespace {

std::uint32_t big_endian(const std::string& s, std::size_t at) {
  return std::uint32_t{static_cast<unsigned char>(s[at])} << 24 |
         std::uint32_t{static_cast<unsigned char>(s[at + 1])} << 16 |
         std::uint32_t{static_cast<unsigned char>(s[at + 2])} << 8 |
         std::uint32_t{static_cast<unsigned char>(s[at + 3])};
}

// Walks the chunks after the 8-byte signature (length, type, data, CRC) and writes the right
// CRC into each whole one; a cut-off last chunk stays as it is.
void fix_crcs(std::string& png) {
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint64_t length = big_endian(png, at);
    if (at + 12 + length > png.size()) return;
    const auto* type_and_data = reinterpret_cast<const Bytef*>(png.data() + at + 4);
    const uLong crc = crc32(crc32(0, Z_NULL, 0), type_and_data, static_cast<uInt>(length + 4));
    for (int i = 0; i < 4; ++i) {
      png[at + 8 + length + static_cast<std::size_t>(i)] =
          static_cast<char>(crc >> (24 - 8 * i) & 0xFF);
    }
    at += 12 + length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > fuzz::kMaxLen) return 0;
  namespace picture = platform::picture;
  fuzz::Input in(data, size);
  const std::uint8_t flags = in.byte();
  std::string png(in.rest());
  if (flags & 2) fix_crcs(png);

  const std::optional<picture::Image> image = picture::decode_png(
      png, flags & 1 ? picture::PixelLayout::argb32_premultiplied : picture::PixelLayout::rgba8);
  if (image) {
    fuzz::check(image->width >= 1 && image->width <= picture::max_side && image->height >= 1 &&
                    image->height <= picture::max_side,
                "a decoded size within the limits");
    fuzz::check(image->pixels.size() == std::size_t{4} * static_cast<std::size_t>(image->width) *
                                            static_cast<std::size_t>(image->height),
                "four bytes per pixel");
  }
  return 0;
}
