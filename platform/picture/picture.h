// PNG bytes to an image of 8-bit pixels (libpng underneath). No GUI types here: the GUI layer
// wraps the pixels in its own image type.
//
// Decoding is total: empty, truncated, corrupt, non-PNG or over-limit input yields an empty
// optional, and nothing is printed. A picture wider or higher than `max_side` pixels is refused
// before any pixel memory is allocated; every buffer libpng asks for, a chunk of any kind or its
// decompressed contents, is held to a few megabytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace platform::picture {

inline constexpr int max_side = 4096;

enum class PixelLayout {
  // Four bytes per pixel in the order R, G, B, A; alpha not premultiplied.
  rgba8,
  // One native-endian 32-bit word per pixel, 0xAARRGGBB, each colour premultiplied by alpha
  // (rounded). On a little-endian machine the bytes read B, G, R, A.
  argb32_premultiplied,
};

struct Image {
  int width = 0;
  int height = 0;
  // Rows from top to bottom, width * 4 bytes each, no padding between rows.
  std::vector<std::uint8_t> pixels;
};

// Decodes a whole PNG held in memory. Palette, grey, transparency chunks, 16-bit samples and
// interlacing are all turned into the requested 8-bit layout. Colour values are taken as stored
// (no gamma correction). Chunks after the last image data are not read, so a picture whose
// pixels are complete decodes even when its closing chunk is cut off.
std::optional<Image> decode_png(std::string_view bytes, PixelLayout layout = PixelLayout::rgba8);

}  // namespace platform::picture
