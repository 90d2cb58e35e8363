#include "platform/codepage/codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

namespace cp = platform::codepage;

// iconv used directly: the whole input converted, or nothing when iconv refuses any of it.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  std::optional<std::string> operator()(std::string_view in) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out(in.size() * 4 + 8, '\0');
    char* inp = const_cast<char*>(in.data());
    std::size_t inleft = in.size();
    char* outp = out.data();
    std::size_t outleft = out.size();
    if (iconv(cd_, &inp, &inleft, &outp, &outleft) == static_cast<std::size_t>(-1)) {
      return std::nullopt;
    }
    out.resize(out.size() - outleft);
    return out;
  }

 private:
  iconv_t cd_;
};

std::string bytes_of(const std::u16string& units) {
  return std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
}

const std::string kReplacementUnit("\xFD\xFF", 2);  // U+FFFD, little-endian

// Every two-byte sequence through CP936 -> UTF-16 -> CP936, against iconv as the oracle under
// the stated replacement rules: a sequence iconv refuses becomes one U+FFFD and conversion goes
// on with the next byte; a unit CP936 lacks becomes "?".
TEST(Codepage, AllTwoByteSequencesAgainstIconv) {
  Iconv to_utf16("UTF-16LE", "CP936");
  Iconv to_cp936("CP936", "UTF-16LE");
  auto single = [&](char b) {
    return to_utf16(std::string_view(&b, 1)).value_or(kReplacementUnit);
  };

  int round_trips = 0;
  for (int b1 = 0; b1 < 256; ++b1) {
    for (int b2 = 0; b2 < 256; ++b2) {
      const char in[2] = {static_cast<char>(b1), static_cast<char>(b2)};
      const std::string_view pair(in, 2);
      std::string want;
      if (auto whole = to_utf16(pair)) {
        want = *whole;
      } else {
        want = to_utf16(pair.substr(0, 1)).value_or(kReplacementUnit) + single(in[1]);
      }
      const std::u16string units = cp::cp936_to_utf16(pair);
      ASSERT_EQ(bytes_of(units), want) << std::hex << "bytes " << b1 << " " << b2;

      std::string back_want;
      for (char16_t u : units) {
        back_want += to_cp936(std::string_view(reinterpret_cast<const char*>(&u), 2)).value_or("?");
      }
      const std::string back = cp::utf16_to_cp936(units);
      ASSERT_EQ(back, back_want) << std::hex << "bytes " << b1 << " " << b2;
      if (units.size() == 1 && units[0] != u'\uFFFD' && back == pair) ++round_trips;
    }
  }
  // GBK's double-byte area: far more than 20,000 characters come back unchanged.
  EXPECT_GT(round_trips, 20000);
}

TEST(Codepage, ReplacementRules) {
  struct Row {
    const char* name;
    std::string in;
    std::u16string want;
  } to_utf16_rows[] = {
      {"malformed byte", "\xFF\x41", u"\uFFFDA"},
      {"lead byte with a bad trail byte", "\x81 A", u"\uFFFD A"},
      {"incomplete lead byte at the end", "A\x81", u"A\uFFFD"},
      {"euro sign", "\x80", u"\u20AC"},
      {"valid pair", "\xD6\xD0", u"\u4E2D"},
  };
  for (const Row& r : to_utf16_rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(cp::cp936_to_utf16(r.in), r.want);
  }

  struct BackRow {
    const char* name;
    std::u16string in;
    std::string want;
  } to_cp936_rows[] = {
      {"emoji is one character CP936 lacks", u"a\U0001F600b", "a?b"},
      {"lone high surrogate", std::u16string(u"a") + char16_t(0xD800) + u"b", "a?b"},
      {"lone low surrogate at the end", std::u16string(u"a") + char16_t(0xDC00), "a?"},
      {"Chinese", u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
  };
  for (const BackRow& r : to_cp936_rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(cp::utf16_to_cp936(r.in), r.want);
  }
}

TEST(Codepage, Utf8LiteralToCp936) {
  EXPECT_EQ(cp::utf8_to_cp936("登陆成功"), "\xB5\xC7\xC2\xBD\xB3\xC9\xB9\xA6");
  EXPECT_EQ(cp::utf8_to_cp936("a￥b"), "a\xA3\xA4\x62");
  EXPECT_EQ(cp::utf8_to_cp936(""), "");
}

// Descriptors are kept between conversions; each conversion still starts as a fresh one would,
// whatever the one before it left behind: an incomplete last character, a shift into another
// character set, or a byte-order mark that a decoder would otherwise remember.
TEST(Codepage, EachConversionStartsAfresh) {
  struct Row {
    const char* name;
    const char* from;
    std::string first;
    std::string second;
    std::string want;  // the second, as UTF-8
  } rows[] = {
      {"UTF-8 ending inside a character", "UTF-8", "a\xE4\xB8", "b", "b"},
      {"CP936 ending with a lead byte", "CP936", "a\x81", "b", "b"},
      {"UTF-16 after a big-endian byte-order mark", "UTF-16", std::string("\xFE\xFF\0a", 4),
       std::string("b\0", 2), "b"},
      {"UTF-32 after a big-endian byte-order mark", "UTF-32", std::string("\0\0\xFE\xFF\0\0\0a", 8),
       std::string("b\0\0\0", 4), "b"},
      {"ISO-2022-JP left in JIS X 0208", "ISO-2022-JP", "\x1B$B0!", "ab", "ab"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_TRUE(cp::convert(r.first, r.from, "UTF-8"));
    EXPECT_EQ(cp::convert(r.second, r.from, "UTF-8"), r.want);
  }
}

// Each thread keeps descriptors of its own and closes them when it ends (the sanitizer build
// reports any left open); threads converting at once get their own results.
TEST(Codepage, ThreadsConvertAtOnce) {
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&wrong, t] {
      // 中文 and the thread's digit, long enough for conversions on the threads to overlap.
      std::string text;
      std::u16string units;
      for (int i = 0; i < 200; ++i) {
        text += "\xD6\xD0\xCE\xC4" + std::to_string(t);
        units += u"\u4E2D\u6587" + std::u16string(1, static_cast<char16_t>(u'0' + t));
      }
      for (int i = 0; i < 500; ++i) {
        if (cp::cp936_to_utf16(text) != units || cp::utf16_to_cp936(units) != text) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

}  // namespace
