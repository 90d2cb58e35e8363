#include "platform/picture/picture.h"

#include <png.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace platform::picture {
namespace {

// Ancillary chunks that libpng keeps (texts, suggested palettes, unknown chunks), and the
// largest buffer it may allocate for one chunk, decompressed texts and profiles included.
constexpr png_uint_32 max_kept_chunks = 128;
constexpr png_alloc_size_t max_chunk_bytes = 8 * 1024 * 1024;
constexpr std::uint64_t max_pixel_bytes = std::uint64_t{max_side} * max_side * 4;

// Every allocation of libpng goes through these. A request above the chunk limit is refused:
// libpng asks for a buffer of a chunk's declared length before reading the chunk, so otherwise
// a few bytes declaring a large chunk would cost gigabytes. A refused ancillary chunk is skipped;
// anything else libpng needs is far smaller.
png_voidp bounded_malloc(png_structp /*png*/, png_alloc_size_t size) {
  return size <= max_chunk_bytes ? std::malloc(size) : nullptr;
}
void bounded_free(png_structp /*png*/, png_voidp p) { std::free(p); }

// libpng calls this instead of printing; it must not return. The jump lands in the frame that
// last called setjmp on this read struct.
[[noreturn]] void on_error(png_structp png, png_const_charp /*message*/) { png_longjmp(png, 1); }
void on_warning(png_structp /*png*/, png_const_charp /*message*/) {}

// The one owner of a read struct and its info struct.
class ReadHandles {
 public:
  ReadHandles() {
    png_ = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning, nullptr,
                                    bounded_malloc, bounded_free);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
  }
  ~ReadHandles() { reset(); }
  ReadHandles(const ReadHandles&) = delete;
  ReadHandles& operator=(const ReadHandles&) = delete;
  ReadHandles(ReadHandles&& other) noexcept
      : png_(std::exchange(other.png_, nullptr)), info_(std::exchange(other.info_, nullptr)) {}
  ReadHandles& operator=(ReadHandles&& other) noexcept {
    if (this != &other) {
      reset();
      png_ = std::exchange(other.png_, nullptr);
      info_ = std::exchange(other.info_, nullptr);
    }
    return *this;
  }

  bool valid() const { return png_ != nullptr && info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  void reset() {
    if (png_ != nullptr) png_destroy_read_struct(&png_, &info_, nullptr);
    png_ = nullptr;
    info_ = nullptr;
  }

  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

struct MemoryInput {
  const unsigned char* data;
  std::size_t size;
  std::size_t offset;
};

// A request for more bytes than remain is an error, never a short read.
void read_from_memory(png_structp png, png_bytep out, std::size_t length) {
  auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (length > input->size - input->offset) png_error(png, "read past the end of the input");
  std::memcpy(out, input->data + input->offset, length);
  input->offset += length;
}

struct Header {
  png_uint_32 width;
  png_uint_32 height;
  std::size_t row_bytes;
};

// The two functions below call libpng, which reports an error by a longjmp back into their
// frame. They therefore hold only trivially destructible locals, and every C++ object lives in
// the caller.

// Reads everything before the image data and sets up the transformations to 8-bit RGBA.
bool read_header(png_structp png, png_infop info, Header* header) {
  if (setjmp(png_jmpbuf(png))) return false;

  png_read_info(png, info);
  const png_byte color = png_get_color_type(png, info);
  const png_byte depth = png_get_bit_depth(png, info);
  const bool has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

  if (color == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (color == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (has_trns) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_strip_16(png);
  if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  if ((color & PNG_COLOR_MASK_ALPHA) == 0 && !has_trns) {
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  header->width = png_get_image_width(png, info);
  header->height = png_get_image_height(png, info);
  header->row_bytes = png_get_rowbytes(png, info);
  return png_get_bit_depth(png, info) == 8 && png_get_channels(png, info) == 4 &&
         header->row_bytes == std::size_t{header->width} * 4;
}

// Reads all rows, every interlace pass included, into `rows`.
bool read_rows(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

void premultiply_to_argb32(std::vector<std::uint8_t>& pixels) {
  for (std::size_t i = 0; i + 4 <= pixels.size(); i += 4) {
    std::uint8_t* p = &pixels[i];
    const std::uint32_t alpha = p[3];
    auto scale = [alpha](std::uint32_t c) { return (c * alpha + 127) / 255; };
    const std::uint32_t word =
        alpha << 24 | scale(p[0]) << 16 | scale(p[1]) << 8 | scale(p[2]);
    std::memcpy(p, &word, sizeof word);
  }
}

}  // namespace

std::optional<Image> decode_png(std::string_view bytes, PixelLayout layout) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 8 || png_sig_cmp(data, 0, 8) != 0) return std::nullopt;

  ReadHandles handles;
  if (!handles.valid()) return std::nullopt;
  png_structp png = handles.png();
  png_set_user_limits(png, max_side, max_side);
  png_set_chunk_cache_max(png, max_kept_chunks);
  png_set_chunk_malloc_max(png, max_chunk_bytes);
  MemoryInput input{data, bytes.size(), 0};
  png_set_read_fn(png, &input, read_from_memory);

  Header header{};
  if (!read_header(png, handles.info(), &header)) return std::nullopt;
  const std::uint64_t pixel_bytes = std::uint64_t{header.row_bytes} * header.height;
  if (header.width == 0 || header.height == 0 || header.width > max_side ||
      header.height > max_side || pixel_bytes > max_pixel_bytes) {
    return std::nullopt;
  }

  Image image;
  std::vector<png_bytep> rows;
  try {
    image.pixels.resize(pixel_bytes);
    rows.resize(header.height);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  for (png_uint_32 y = 0; y < header.height; ++y) {
    rows[y] = image.pixels.data() + std::size_t{y} * header.row_bytes;
  }
  if (!read_rows(png, rows.data())) return std::nullopt;

  if (layout == PixelLayout::argb32_premultiplied) premultiply_to_argb32(image.pixels);
  image.width = static_cast<int>(header.width);
  image.height = static_cast<int>(header.height);
  return image;
}

}  // namespace platform::picture
