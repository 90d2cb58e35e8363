#include "tools/demo-server/picture.h"

#include <png.h>
#include <qrencode.h>

#include <algorithm>
#include <csetjmp>
#include <string>
#include <vector>

namespace demo {
namespace {

constexpr int kQuietModules = 4;
// Version 4 (33 modules) keeps the pictures about 160 px wide for short addresses; longer
// texts get a larger version.
constexpr int kMinVersion = 4;

class QrCode {
 public:
  explicit QrCode(QRcode* code) : code_(code) {}
  ~QrCode() {
    if (code_ != nullptr) QRcode_free(code_);
  }
  QrCode(const QrCode&) = delete;
  QrCode& operator=(const QrCode&) = delete;
  QrCode(QrCode&& other) noexcept : code_(other.code_) { other.code_ = nullptr; }
  QrCode& operator=(QrCode&&) = delete;

  const QRcode* get() const { return code_; }

 private:
  QRcode* code_;
};

class PngWriter {
 public:
  PngWriter() : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr)) {
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
  }
  ~PngWriter() {
    if (png_ != nullptr) png_destroy_write_struct(&png_, info_ != nullptr ? &info_ : nullptr);
  }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;
  PngWriter(PngWriter&& other) noexcept : png_(other.png_), info_(other.info_) {
    other.png_ = nullptr;
    other.info_ = nullptr;
  }
  PngWriter& operator=(PngWriter&&) = delete;

  bool valid() const { return png_ != nullptr && info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_;
  png_infop info_ = nullptr;
};

void append_to_string(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), length);
}

void no_flush(png_structp) {}

// libpng reports errors by longjmp to here; this frame holds only trivially destructible
// objects, so nothing is skipped. `rows` holds height rows of width bytes.
bool write_grey_png(const PngWriter& writer, std::string* out, const unsigned char* rows,
                    png_uint_32 width, png_uint_32 height) {
  if (setjmp(png_jmpbuf(writer.png())) != 0) return false;
  png_set_write_fn(writer.png(), out, append_to_string, no_flush);
  png_set_IHDR(writer.png(), writer.info(), width, height, 8, PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(writer.png(), writer.info());
  for (png_uint_32 y = 0; y < height; ++y) {
    png_write_row(writer.png(), rows + static_cast<size_t>(y) * width);
  }
  png_write_end(writer.png(), nullptr);
  return true;
}

}  // namespace

std::optional<std::string> qr_png(std::string_view text, int module_px) {
  QrCode code(QRcode_encodeData(static_cast<int>(text.size()),
                                reinterpret_cast<const unsigned char*>(text.data()), kMinVersion,
                                QR_ECLEVEL_M));
  if (code.get() == nullptr || module_px < 1) return std::nullopt;

  const int modules = code.get()->width;
  const int side = (modules + 2 * kQuietModules) * module_px;
  std::vector<unsigned char> pixels(static_cast<size_t>(side) * side, 0xFF);
  for (int my = 0; my < modules; ++my) {
    for (int mx = 0; mx < modules; ++mx) {
      // Bit 0 of each module byte is set for a dark module.
      if ((code.get()->data[my * modules + mx] & 1) == 0) continue;
      const int x0 = (mx + kQuietModules) * module_px;
      const int y0 = (my + kQuietModules) * module_px;
      for (int y = y0; y < y0 + module_px; ++y) {
        std::fill_n(pixels.begin() + static_cast<size_t>(y) * side + x0, module_px, 0x00);
      }
    }
  }

  PngWriter writer;
  if (!writer.valid()) return std::nullopt;
  std::string out;
  if (!write_grey_png(writer, &out, pixels.data(), side, side)) return std::nullopt;
  return out;
}

}  // namespace demo
