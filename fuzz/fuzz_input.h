// What every fuzz target shares: the input cap, a reader that takes options and pieces from the
// input bytes, and the check that stops the run on a broken property.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/text.h"

#ifndef FUZZ_MAX_LEN
#define FUZZ_MAX_LEN 65536
#endif

namespace fuzz {

inline constexpr std::size_t kMaxLen = FUZZ_MAX_LEN;

// Reads the input front to back. Past the end every read gives 0 or the empty piece.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : bytes_(reinterpret_cast<const char*>(data), size) {}

  std::uint8_t byte() {
    if (bytes_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(bytes_.front());
    bytes_.remove_prefix(1);
    return b;
  }
  // Two bytes, low first.
  std::uint16_t u16() {
    const std::uint16_t low = byte();
    return static_cast<std::uint16_t>(low | byte() << 8);
  }
  std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
  // The next `n` bytes, fewer at the end.
  std::string_view take(std::size_t n) {
    const std::string_view out = bytes_.substr(0, n);
    bytes_.remove_prefix(out.size());
    return out;
  }
  // The bytes up to the next zero byte (which is consumed) or the end.
  std::string_view until_zero() {
    const std::size_t zero = bytes_.find('\0');
    const std::string_view out = bytes_.substr(0, zero);
    bytes_.remove_prefix(zero == std::string_view::npos ? bytes_.size() : zero + 1);
    return out;
  }
  std::string_view rest() { return take(bytes_.size()); }

 private:
  std::string_view bytes_;
};

// A Text of the bytes, absent when there are none (as a primitive's empty result is).
inline Text text_of(std::string_view bytes) {
  return Text::result(std::string(bytes));
}

// Printable ASCII as is, every other byte as \xHH.
inline std::string shown(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out;
}

// Stops the run with `what` when a property does not hold; libFuzzer keeps the input.
inline void check(bool holds, const char* what, std::string_view detail = {}) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n%s\n", what, shown(detail).c_str());
  std::abort();
}

}  // namespace fuzz
