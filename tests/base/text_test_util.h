// Helpers for the tests of the text primitives: readable failure output for GBK bytes and
// checks that tell an absent result from a present empty one.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace text_test {

// Printable ASCII as is; every other byte, and the quote and backslash, as \xHH.
inline std::string escaped(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out;
}

inline std::string shown(const Text& t) {
  return t.absent() ? std::string("<absent>") : '"' + escaped(t.view()) + '"';
}

// A primitive's result: `want` bytes, and absent exactly when `want` is empty.
inline ::testing::AssertionResult IsResult(const Text& got, std::string_view want) {
  bool ok = got.view() == want && got.absent() == want.empty();
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "got " << shown(got) << ", want "
         << (want.empty() ? std::string("<absent>") : '"' + escaped(want) + '"');
}

// An array's elements; an absent element is nullopt, a present one its bytes.
using Members = std::vector<std::optional<std::string>>;

inline Members members(const TextArray& array) {
  Members out;
  for (const Text& t : array) {
    if (t.absent()) {
      out.emplace_back(std::nullopt);
    } else {
      out.emplace_back(t.bytes());
    }
  }
  return out;
}

inline std::string shown(const Members& m) {
  std::string out = "(";
  for (std::size_t i = 0; i < m.size(); ++i) {
    if (i) out += ", ";
    out += m[i] ? '"' + escaped(*m[i]) + '"' : std::string("<absent>");
  }
  return out + ")";
}

}  // namespace text_test

// Found by argument-dependent lookup, so gtest prints texts and arrays readably.
inline void PrintTo(const Text& t, std::ostream* os) {
  *os << text_test::shown(t);
}
inline void PrintTo(const TextArray& a, std::ostream* os) {
  *os << text_test::shown(text_test::members(a));
}
inline void PrintTo(const ByteSet& b, std::ostream* os) {
  *os << '[' << text_test::escaped(b.view()) << ']';
}
