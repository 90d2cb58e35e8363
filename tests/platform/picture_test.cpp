#include "platform/picture/picture.h"

#include <png.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// GCC warns about every member a designated initializer leaves out; the fixtures below leave out
// the defaulted ones on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using platform::picture::decode_png;
using platform::picture::Image;
using platform::picture::PixelLayout;
using Bytes = std::vector<std::uint8_t>;

// ---- Fixtures written with libpng's own writer ----

struct Fixture {
  png_uint_32 width = 1;
  png_uint_32 height = 1;
  int bit_depth = 8;
  int color_type = PNG_COLOR_TYPE_RGB;
  bool interlaced = false;
  std::vector<png_color> palette;
  std::vector<png_byte> palette_alpha;      // tRNS of a palette picture
  std::optional<png_color_16> trans_color;  // tRNS of a grey or RGB picture
  Bytes rows;                               // the rows as stored: packed, big-endian samples
};

void append_output(png_structp png, png_bytep data, std::size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}
void flush_output(png_structp /*png*/) {}

// libpng longjmps into this frame on an error: trivially destructible locals only.
bool write_fixture(png_structp png, png_infop info, const Fixture* f, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, f->width, f->height, f->bit_depth, f->color_type,
               f->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!f->palette.empty()) {
    png_set_PLTE(png, info, f->palette.data(), static_cast<int>(f->palette.size()));
  }
  if (!f->palette_alpha.empty()) {
    png_set_tRNS(png, info, f->palette_alpha.data(), static_cast<int>(f->palette_alpha.size()),
                 nullptr);
  }
  if (f->trans_color) png_set_tRNS(png, info, nullptr, 0, &*f->trans_color);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

std::string encode(const Fixture& f) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::string out;
  png_set_write_fn(png, &out, append_output, flush_output);
  const std::size_t row_bytes = f.rows.size() / f.height;
  std::vector<png_bytep> rows(f.height);
  for (png_uint_32 y = 0; y < f.height; ++y) {
    rows[y] = const_cast<png_bytep>(f.rows.data()) + y * row_bytes;
  }
  const bool written = write_fixture(png, info, &f, rows.data());
  png_destroy_write_struct(&png, &info);
  EXPECT_TRUE(written);
  return out;
}

// ---- Hand-built chunks, for pictures the writer refuses to make ----

void append_be32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
}

void append_chunk(std::string& out, const char type[5], const std::string& data) {
  append_be32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t crc_from = out.size();
  out.append(type, 4);
  out += data;
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + crc_from),
                         static_cast<uInt>(out.size() - crc_from));
  append_be32(out, static_cast<std::uint32_t>(crc));
}

std::string signature() { return std::string("\x89PNG\r\n\x1a\n", 8); }

std::string ihdr(std::uint32_t width, std::uint32_t height, int depth, int color) {
  std::string data;
  append_be32(data, width);
  append_be32(data, height);
  data += {static_cast<char>(depth), static_cast<char>(color), 0, 0, 0};
  return data;
}

// A zlib stream of `zeros` zero bytes, compressed chunk by chunk so that building a bomb never
// holds its inflated size.
std::string deflate_zeros(std::size_t zeros) {
  z_stream z{};
  deflateInit(&z, Z_BEST_COMPRESSION);
  std::vector<Bytef> in(64 * 1024, 0);
  std::vector<Bytef> buffer(64 * 1024);
  std::string out;
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    const std::size_t take = std::min(zeros, in.size());
    zeros -= take;
    flush = zeros == 0 ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(take);
    do {
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, flush);
      out.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  return out;
}

// A one-pixel grey picture built chunk by chunk; `before_idat` is inserted after IHDR.
std::string tiny_grey_png(const std::string& before_idat = {}) {
  std::string png = signature();
  append_chunk(png, "IHDR", ihdr(1, 1, 8, PNG_COLOR_TYPE_GRAY));
  png += before_idat;
  append_chunk(png, "IDAT", deflate_zeros(2));  // filter byte + one sample
  append_chunk(png, "IEND", "");
  return png;
}

long peak_rss_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The peak virtual size of the process, which grows with an allocation even when its pages are
// never touched.
long peak_virtual_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmPeak:", 0) == 0) return std::stol(line.substr(7));
  }
  return 0;
}

Bytes pixels_of(const std::optional<Image>& image) { return image ? image->pixels : Bytes{}; }

Bytes opaque_black(std::size_t pixels) {
  Bytes rgba;
  for (std::size_t i = 0; i < pixels; ++i) rgba.insert(rgba.end(), {0, 0, 0, 255});
  return rgba;
}

// ---- Decoding ----

TEST(DecodePng, EveryStoredFormatBecomesRgba8) {
  // 9 x 9 covers all seven interlace passes.
  Fixture interlaced{.width = 9, .height = 9, .interlaced = true};
  Bytes interlaced_rgba;
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 9; ++x) {
      const Bytes rgb{static_cast<std::uint8_t>(x * 20), static_cast<std::uint8_t>(y * 20),
                      static_cast<std::uint8_t>(x + y)};
      interlaced.rows.insert(interlaced.rows.end(), rgb.begin(), rgb.end());
      interlaced_rgba.insert(interlaced_rgba.end(), rgb.begin(), rgb.end());
      interlaced_rgba.push_back(255);
    }
  }

  struct Row {
    const char* name;
    Fixture fixture;
    Bytes rgba;
  };
  const Row rows[] = {
      {"rgb 8-bit gains opaque alpha",
       {.width = 2, .rows = {10, 20, 30, 40, 50, 60}},
       {10, 20, 30, 255, 40, 50, 60, 255}},
      {"rgba 8-bit as stored",
       {.width = 2, .color_type = PNG_COLOR_TYPE_RGB_ALPHA, .rows = {1, 2, 3, 4, 5, 6, 7, 0}},
       {1, 2, 3, 4, 5, 6, 7, 0}},
      {"2-bit palette with partial tRNS",
       {.width = 3,
        .bit_depth = 2,
        .color_type = PNG_COLOR_TYPE_PALETTE,
        .palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}},
        .palette_alpha = {255, 128},
        .rows = {0b00'01'10'00}},
       {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255}},
      {"palette without tRNS is opaque",
       {.width = 2,
        .color_type = PNG_COLOR_TYPE_PALETTE,
        .palette = {{9, 8, 7}, {6, 5, 4}},
        .rows = {1, 0}},
       {6, 5, 4, 255, 9, 8, 7, 255}},
      {"grey + alpha",
       {.width = 2, .color_type = PNG_COLOR_TYPE_GRAY_ALPHA, .rows = {100, 200, 0, 0}},
       {100, 100, 100, 200, 0, 0, 0, 0}},
      {"1-bit grey expands to 0 and 255",
       {.width = 3, .bit_depth = 1, .color_type = PNG_COLOR_TYPE_GRAY, .rows = {0b101'00000}},
       {255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}},
      {"grey with a tRNS colour",
       {.width = 2,
        .color_type = PNG_COLOR_TYPE_GRAY,
        .trans_color = png_color_16{.gray = 7},
        .rows = {7, 8}},
       {7, 7, 7, 0, 8, 8, 8, 255}},
      {"16-bit rgba keeps the high bytes",
       {.bit_depth = 16,
        .color_type = PNG_COLOR_TYPE_RGB_ALPHA,
        .rows = {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00, 0x80, 0x00}},
       {0x12, 0xAB, 0xFF, 0x80}},
      {"16-bit grey", {.bit_depth = 16, .color_type = PNG_COLOR_TYPE_GRAY, .rows = {0xC0, 0x01}},
       {0xC0, 0xC0, 0xC0, 255}},
      {"adam7 interlaced rgb", interlaced, interlaced_rgba},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto image = decode_png(encode(row.fixture));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, static_cast<int>(row.fixture.width));
    EXPECT_EQ(image->height, static_cast<int>(row.fixture.height));
    EXPECT_EQ(image->pixels, row.rgba);
  }
}

TEST(DecodePng, PremultipliedArgb32Words) {
  const Fixture f{.width = 3,
                  .color_type = PNG_COLOR_TYPE_RGB_ALPHA,
                  .rows = {200, 100, 50, 128, 9, 9, 9, 0, 1, 2, 3, 255}};
  const auto image = decode_png(encode(f), PixelLayout::argb32_premultiplied);
  ASSERT_TRUE(image.has_value());
  ASSERT_EQ(image->pixels.size(), 12u);
  std::uint32_t words[3];
  std::memcpy(words, image->pixels.data(), sizeof words);
  EXPECT_EQ(words[0], 0x80643219u);  // each colour x 128 / 255, rounded
  EXPECT_EQ(words[1], 0x00000000u);  // fully transparent: colour gone
  EXPECT_EQ(words[2], 0xFF010203u);  // opaque: colour unchanged
}

TEST(DecodePng, SideLimitIsInclusive) {
  struct Row {
    const char* name;
    png_uint_32 width, height;
    bool decodes;
  };
  const Row rows[] = {
      {"4096 wide", 4096, 1, true},
      {"4097 wide", 4097, 1, false},
      {"4097 high", 1, 4097, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fixture f{.width = row.width, .height = row.height, .color_type = PNG_COLOR_TYPE_GRAY};
    f.rows.assign(std::size_t{row.width} * row.height, 0x55);
    const auto image = decode_png(encode(f));
    EXPECT_EQ(image.has_value(), row.decodes);
  }
}

// ---- Hostile and broken input ----

TEST(DecodePng, BrokenInputFails) {
  const std::string valid = encode({.width = 2, .rows = {1, 2, 3, 4, 5, 6}});
  std::string bad_idat_crc = valid;
  bad_idat_crc[bad_idat_crc.size() - 13] ^= 1;  // the last byte of the IDAT CRC
  std::string no_idat = signature();
  append_chunk(no_idat, "IHDR", ihdr(1, 1, 8, PNG_COLOR_TYPE_GRAY));
  append_chunk(no_idat, "IEND", "");
  std::string short_idat = signature();
  append_chunk(short_idat, "IHDR", ihdr(4, 4, 8, PNG_COLOR_TYPE_GRAY));
  append_chunk(short_idat, "IDAT", deflate_zeros(5));  // the picture needs 4 x 5 bytes
  append_chunk(short_idat, "IEND", "");

  struct Row {
    const char* name;
    std::string bytes;
  };
  const Row rows[] = {
      {"empty", ""},
      {"signature alone", signature()},
      {"not a PNG", "GIF89a\x01\x00\x01\x00"},
      {"wrong IDAT CRC", bad_idat_crc},
      {"no image data", no_idat},
      {"image data too short", short_idat},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_FALSE(decode_png(row.bytes).has_value());
  }
}

TEST(DecodePng, EveryTruncationBeforeTheImageEndsFails) {
  const std::string valid = encode({.width = 3, .height = 2, .rows = Bytes(18, 7)});
  ASSERT_TRUE(decode_png(valid).has_value());
  const std::size_t iend = 12;
  for (std::size_t cut = 0; cut < valid.size() - iend; ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_FALSE(decode_png(valid.substr(0, cut)).has_value());
  }
}

TEST(DecodePng, RandomAndMutatedBytesNeverCrash) {
  std::mt19937 rng(20240611);
  for (int i = 0; i < 200; ++i) {
    std::string noise(rng() % 600, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    if (i % 2 == 1) noise.replace(0, std::min<std::size_t>(8, noise.size()), signature());
    EXPECT_FALSE(decode_png(noise).has_value()) << "input " << i;
  }
  // Each byte of a valid picture flipped in turn: decoding may succeed or fail, never crash.
  const std::string valid =
      encode({.width = 3, .height = 3, .color_type = PNG_COLOR_TYPE_RGB, .rows = Bytes(27, 40)});
  for (std::size_t i = 0; i < valid.size(); ++i) {
    std::string mutated = valid;
    mutated[i] = static_cast<char>(~mutated[i]);
    const auto image = decode_png(mutated);
    if (image) {
      EXPECT_EQ(image->pixels.size(),
                static_cast<std::size_t>(image->width) * image->height * 4);
    }
  }
}

TEST(DecodePng, HugeDeclaredSizeFailsWithoutAllocating) {
  std::string png = signature();
  append_chunk(png, "IHDR", ihdr(100000, 100000, 8, PNG_COLOR_TYPE_RGB_ALPHA));
  append_chunk(png, "IDAT", deflate_zeros(64));
  append_chunk(png, "IEND", "");
  const long before = peak_rss_kib();
  EXPECT_FALSE(decode_png(png).has_value());
  EXPECT_LT(peak_rss_kib() - before, 32 * 1024);
}

// A chunk before the image data declaring far more bytes than the input holds: libpng asks for
// a buffer of the declared length before reading it.
TEST(DecodePng, HugeDeclaredChunkLengthFailsWithoutAllocating) {
  std::string png = signature();
  append_chunk(png, "IHDR", ihdr(2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA));
  append_be32(png, 0x6A000003);  // a tEXt chunk of 1.7 GB, cut off after a few bytes
  png += "tEXtk\0v";
  const long before = peak_virtual_kib();
  EXPECT_FALSE(decode_png(png).has_value());
  EXPECT_LT(peak_virtual_kib() - before, 64 * 1024);
}

TEST(DecodePng, DecompressionBombsAreBounded) {
  constexpr std::size_t inflated = std::size_t{128} << 20;
  // A 16 x 16 grey picture needs 16 x 17 bytes; its data stream inflates to 128 MiB.
  const std::string stream = deflate_zeros(inflated);
  std::string idat_bomb = signature();
  append_chunk(idat_bomb, "IHDR", ihdr(16, 16, 8, PNG_COLOR_TYPE_GRAY));
  append_chunk(idat_bomb, "IDAT", stream);
  append_chunk(idat_bomb, "IEND", "");
  // A compressed text chunk: keyword, NUL, method 0, then the stream.
  std::string ztxt;
  append_chunk(ztxt, "zTXt", std::string("Comment\0\0", 9) + stream);
  const std::string ztxt_bomb = tiny_grey_png(ztxt);

  struct Row {
    const char* name;
    const std::string& bytes;
    Bytes pixels;
  };
  const Row rows[] = {
      {"image data inflating far past the picture", idat_bomb, opaque_black(16 * 16)},
      {"text chunk inflating past the chunk limit", ztxt_bomb, opaque_black(1)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_LT(row.bytes.size(), std::size_t{1} << 20);  // small on the wire
    const long before = peak_rss_kib();
    const auto image = decode_png(row.bytes);
    EXPECT_LT(peak_rss_kib() - before, 32 * 1024);
    // The pixels are all there; the surplus data is ignored, not decoded.
    EXPECT_EQ(pixels_of(image), row.pixels);
  }
}

}  // namespace
