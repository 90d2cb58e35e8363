#include "platform/codepage/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace platform::codepage {
namespace {

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

bool starts_with_ci(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string_view replacement_for(std::string_view to) {
  if (starts_with_ci(to, "UTF-16BE")) return {"\xFF\xFD", 2};
  if (starts_with_ci(to, "UTF-16")) return {"\xFD\xFF", 2};
  if (starts_with_ci(to, "UTF-8")) return "\xEF\xBF\xBD";
  return "?";
}

// The length of the one character at the start of `in` when it is a well-formed character of
// `from`, else 0.
std::size_t valid_char_length(const char* from, const char* in, std::size_t left) {
  IconvHandle probe("UTF-32LE", from);
  if (!probe.valid()) return 0;
  char out[8];
  char* inp = const_cast<char*>(in);
  std::size_t inleft = left;
  char* outp = out;
  std::size_t outleft = 4;  // room for exactly one character
  iconv(probe.get(), &inp, &inleft, &outp, &outleft);
  return outleft == 0 ? left - inleft : 0;
}

std::string run(IconvHandle& cd, const char* from, std::string_view to, std::string_view bytes) {
  std::string out;
  out.resize(bytes.size() * 2 + 16);
  std::size_t used = 0;
  const std::string_view replacement = replacement_for(to);

  char* inp = const_cast<char*>(bytes.data());
  std::size_t inleft = bytes.size();
  auto emit = [&](std::string_view piece) {
    if (out.size() - used < piece.size()) out.resize(out.size() * 2 + piece.size());
    std::memcpy(out.data() + used, piece.data(), piece.size());
    used += piece.size();
  };

  while (true) {
    char* outp = out.data() + used;
    std::size_t outleft = out.size() - used;
    // On the final round (no input left) flush the shift state.
    std::size_t rc = inleft > 0 ? iconv(cd.get(), &inp, &inleft, &outp, &outleft)
                                : iconv(cd.get(), nullptr, nullptr, &outp, &outleft);
    used = static_cast<std::size_t>(outp - out.data());
    if (rc != static_cast<std::size_t>(-1)) {
      if (inleft == 0) break;
      continue;
    }
    if (errno == E2BIG) {
      out.resize(out.size() * 2 + 16);
      continue;
    }
    if (errno == EILSEQ) {
      // Either a malformed sequence (skip one code unit: a byte, or two for UTF-16 input, so that
      // a lone surrogate does not shift the units after it) or a character the target lacks
      // (skip it).
      std::size_t n = valid_char_length(from, inp, inleft);
      if (n == 0) n = std::min(starts_with_ci(from, "UTF-16") ? std::size_t{2} : 1, inleft);
      emit(replacement);
      inp += n;
      inleft -= n;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      continue;
    }
    // EINVAL: an incomplete sequence ends the input.
    emit(replacement);
    inleft = 0;
  }
  out.resize(used);
  return out;
}

std::u16string units_from_bytes(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  return units;
}

std::string_view bytes_of(std::u16string_view units) {
  return {reinterpret_cast<const char*>(units.data()), units.size() * 2};
}

}  // namespace

std::optional<std::string> convert(std::string_view bytes, const char* from, const char* to) {
  IconvHandle cd(to, from);
  if (!cd.valid()) return std::nullopt;
  return run(cd, from, to, bytes);
}

std::u16string cp936_to_utf16(std::string_view bytes) {
  if (bytes.empty()) return {};
  return units_from_bytes(*convert(bytes, "CP936", "UTF-16LE"));
}

std::string utf16_to_cp936(std::u16string_view units) {
  if (units.empty()) return {};
  return *convert(bytes_of(units), "UTF-16LE", "CP936");
}

std::string utf8_to_cp936(std::string_view utf8) {
  if (utf8.empty()) return {};
  return *convert(utf8, "UTF-8", "CP936");
}

std::string cp936_to_utf8(std::string_view bytes) {
  if (bytes.empty()) return {};
  return *convert(bytes, "CP936", "UTF-8");
}

}  // namespace platform::codepage
