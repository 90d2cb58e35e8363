// Channel pictures a hostile server might send, through a click on a channel radio button
// (show_channel_picture): decompression bombs and truncated files. Each must leave the picture
// box either with the picture or without one, in bounded time and memory, and never crash.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/startup.h"
#include "tests/gui/gui_test_support.h"
#include "tests/support/peak_memory.h"
#include "tests/support/scripted_server.h"

namespace {

using gui_test::control;
using gui_test::open_window;
using test_support::ScriptedServer;
using test_support::send;

// ---- PNG files made here ----

std::uint32_t crc32(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

std::string big_endian(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string chunk(std::string_view type, std::string_view data) {
  const std::string body = std::string(type) + std::string(data);
  return big_endian(static_cast<std::uint32_t>(data.size())) + body + big_endian(crc32(body));
}

// A zlib stream of `raw` (qCompress puts a 4-byte length before it).
std::string zlib(const std::string& raw) {
  return qCompress(QByteArray::fromRawData(raw.data(), raw.size()), 9).mid(4).toStdString();
}

enum ColourType : char { kGrey = 0, kRgb = 2 };

// A PNG of 8-bit samples: `image_data` is the zlib stream of its filtered rows; `extra` goes
// between the header and the image data.
std::string png(std::uint32_t width, std::uint32_t height, ColourType colour,
                const std::string& image_data, const std::string& extra = {}) {
  const std::string header =
      big_endian(width) + big_endian(height) + std::string{8, colour, 0, 0, 0};
  return "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + extra + chunk("IDAT", image_data) +
         chunk("IEND", "");
}

// The filtered rows (filter byte 0) of a `width` x `height` RGB picture in one colour.
std::string rgb_rows(int width, int height, char r, char g, char b) {
  std::string rows;
  for (int y = 0; y < height; ++y) {
    rows.push_back(0);
    for (int x = 0; x < width; ++x) rows.append({r, g, b});
  }
  return rows;
}

std::string red_8x8(const std::string& extra = {}) {
  return png(8, 8, kRgb, zlib(rgb_rows(8, 8, '\xff', 0, 0)), extra);
}

// ---- memory ----

using test_support::reset_peak_rss;
using test_support::status_kib;

// The largest picture the box takes is 4096 x 4096 pixels of 4 bytes (64 MiB); decoding and
// showing it, with the sanitizers' or valgrind's bookkeeping, stays well below eight times that.
constexpr long kMemoryBoundKib = 512 * 1024;
constexpr double kHangCheckSeconds = 60;

class HostilePictureTest : public gui_test::GuiTest {
 protected:
  // Logs in, clicks 微信 with the server answering `picture`, and says how it went.
  struct Shown {
    // The colour in the middle of the picture as "#AARRGGBB"; "none" without a picture.
    std::string centre = "none";
    double seconds = 0;
    long peak_growth_kib = -1;
  };
  Shown click_channel(const std::string& picture) {
    ScriptedServer server(
        {{send(test_support::reply("200 OK", picture, "Content-Type: image/png\r\n"))}});
    app::start({Text("127.0.0.1"), server.port(), server.port()});
    app::session().account_id = "u1";
    QWidget* main = open_window("MainWindow");
    auto* box = control<QLabel>(main, "图片框1");

    Shown shown;
    const bool measure = reset_peak_rss();
    const long rss_before = status_kib("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(control<QAbstractButton>(main, "单选框_微信"), Qt::LeftButton);
    shown.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (measure) shown.peak_growth_kib = status_kib("VmHWM:") - rss_before;
    EXPECT_TRUE(server.wait_for_requests(1));

    // Memory freed by now is handed out again at once (glibc) and overwritten, so a pixmap
    // still pointing into the decoder's buffer would show these bytes instead of its picture.
    std::vector<std::uint8_t> scribble(8 * 8 * 4, 0x55);
    if (!box->pixmap().isNull()) {
      const QImage image = box->pixmap().toImage();
      shown.centre = image.pixelColor(image.width() / 2, image.height() / 2)
                         .name(QColor::HexArgb)
                         .toStdString();
    }
    return shown;
  }
};

TEST_F(HostilePictureTest, BombsAndTruncatedFiles) {
  const std::string red = red_8x8();
  // 4096 x 4096 grey pixels at 0: 16 MiB of rows in some 16 KB, 64 MiB once decoded.
  const std::string grey_rows(4096 * (1 + 4096), '\0');
  const std::string bomb_at_the_limit = png(4096, 4096, kGrey, zlib(grey_rows));
  // A compressed text chunk that inflates to 16 MiB, beyond what a chunk may take.
  const std::string text_bomb =
      red_8x8(chunk("zTXt", std::string("Comment\0\0", 9) + zlib(std::string(16 << 20, 'a'))));
  // Image data whose stream goes on for 16 MiB after the 8 rows the picture needs.
  const std::string long_image_data =
      png(8, 8, kRgb, zlib(rgb_rows(8, 8, '\xff', 0, 0) + std::string(16 << 20, '\0')));
  const std::size_t image_data_end = red.size() - 12;  // the IEND chunk is 12 bytes

  struct Row {
    const char* name;
    std::string picture;
    std::string centre;  // as "#AARRGGBB"; "none": the box stays without a picture
  };
  const Row rows[] = {
      {"bomb at the size limit, 4096 x 4096", bomb_at_the_limit, "#ff000000"},
      {"one side past the limit, 1 x 100000", png(1, 100000, kGrey, zlib(std::string(200000, 0))),
       "none"},
      {"compressed text chunk inflating to 16 MiB", text_bomb, "#ffff0000"},
      {"image data going on for 16 MiB", long_image_data, "#ffff0000"},
      {"cut inside the signature", red.substr(0, 5), "none"},
      {"cut after the header chunk", red.substr(0, 33), "none"},
      {"cut inside the image data", red.substr(0, image_data_end - 6), "none"},
      // The pixels are complete; what is missing is read by no one.
      {"closing chunk missing", red.substr(0, image_data_end), "#ffff0000"},
      {"the whole picture", red, "#ffff0000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    gui_test::close_all_windows();
    const Shown shown = click_channel(row.picture);
    std::printf("hostile picture: %-45s| %-10s| peak +%ld KiB | %.2f s\n", row.name,
                shown.centre.c_str(), shown.peak_growth_kib, shown.seconds);
    EXPECT_EQ(shown.centre, row.centre);
    EXPECT_LT(shown.seconds, kHangCheckSeconds) << "hang check";
    if (shown.peak_growth_kib >= 0) {
      EXPECT_LT(shown.peak_growth_kib, kMemoryBoundKib);
    }
  }
}

}  // namespace
