// Naive references of the text primitives, for the differential tests and the fuzz targets.
//
// They follow the algorithms as the behaviour is defined, one step at a time: step through the
// text a character at a time (a byte of 0x80 or more takes the next byte with it) and compare
// the candidate bytes one by one. They are slow on purpose; only their results count. Positions
// are 1-based, as in the primitives.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace text_reference {

// An array's elements; an absent (empty) element is nullopt.
using Members = std::vector<std::optional<std::string>>;

inline unsigned char byte_at(std::string_view s, std::int64_t position) {
  return static_cast<unsigned char>(s[static_cast<std::size_t>(position - 1)]);
}

inline unsigned char folded(unsigned char b) {
  return b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b;
}

inline bool equal_at(std::string_view s, std::int64_t p, std::string_view sub, bool ignore_case) {
  for (std::size_t i = 0; i < sub.size(); ++i) {
    unsigned char a = byte_at(s, p + static_cast<std::int64_t>(i));
    auto b = static_cast<unsigned char>(sub[i]);
    if (ignore_case ? folded(a) != folded(b) : a != b) return false;
  }
  return true;
}

// The position after the character at p; a lead byte at the last position is a character
// of its own.
inline std::int64_t next_character(std::string_view s, std::int64_t p) {
  auto length = static_cast<std::int64_t>(s.size());
  return byte_at(s, p) >= 0x80 ? std::min(p + 2, length + 1) : p + 1;
}

inline int reference_find(std::string_view s, std::string_view sub, std::optional<int> start,
                          bool case_blind, bool reverse) {
  auto length = static_cast<std::int64_t>(s.size());
  auto m = static_cast<std::int64_t>(sub.size());
  std::int64_t first = 1, last = length;  // the search range
  if (!reverse) {
    if (start && *start >= 2) first = *start;
  } else if (start) {
    last = std::min<std::int64_t>(std::int64_t{*start} - 1, length);
  }
  if (first > last) return -1;
  if (m == 0) return 1;
  int found = -1;
  for (std::int64_t p = first; p + m - 1 <= last;) {
    if (equal_at(s, p, sub, case_blind)) {
      if (!reverse) return static_cast<int>(p);
      found = static_cast<int>(p);
    }
    if (byte_at(s, p) >= 0x80 && p == length) break;  // a lead byte before the terminator
    p = byte_at(s, p) >= 0x80 ? p + 2 : p + 1;
  }
  return found;
}

inline std::string reference_replace(std::string_view s, std::string_view sub,
                                     std::string_view replacement, int start, int count,
                                     bool case_sensitive) {
  auto length = static_cast<std::int64_t>(s.size());
  auto m = static_cast<std::int64_t>(sub.size());
  if (length == 0 || m == 0 || std::int64_t{start} - 1 >= length || count == 0) {
    return std::string(s);
  }
  std::string out;
  std::int64_t p = 1;
  if (start > 1) {
    out.append(s.substr(0, static_cast<std::size_t>(start - 1)));
    p = start;
  }
  int replaced = 0;
  while (length - p + 1 >= m) {
    if (equal_at(s, p, sub, !case_sensitive)) {
      out.append(replacement);
      p += m;
      if (++replaced == count) break;
    } else {
      std::int64_t next = next_character(s, p);
      out.append(s.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(next - p)));
      p = next;
    }
  }
  if (p <= length) out.append(s.substr(static_cast<std::size_t>(p - 1)));
  return out;
}

inline Members reference_split(std::string_view s, std::string_view delimiter,
                               std::optional<int> max_members) {
  auto length = static_cast<std::int64_t>(s.size());
  auto m = static_cast<std::int64_t>(delimiter.size());
  Members out;
  auto member = [&](std::int64_t from, std::int64_t to) {  // bytes from..to-1
    if (to > from) {
      out.emplace_back(std::string(
          s.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from))));
    } else {
      out.emplace_back(std::nullopt);
    }
  };
  if (length == 0 || (max_members && *max_members <= 0)) return out;
  if (m == 0) return Members{std::string(s)};
  std::int64_t begin = 1;
  for (std::int64_t p = 1; length - p + 1 >= m;) {
    if (equal_at(s, p, delimiter, false)) {
      member(begin, p);
      p += m;
      begin = p;
      if (max_members && static_cast<int>(out.size()) == *max_members) return out;
    } else {
      p = next_character(s, p);
    }
  }
  if (begin <= length && (!max_members || static_cast<int>(out.size()) < *max_members)) {
    member(begin, length + 1);
  }
  return out;
}

// ---- character-wise transforms ----

// The characters of `s` as byte ranges: a byte of 0x80 or more takes the byte after it, if any.
inline std::vector<std::string_view> characters(std::string_view s) {
  std::vector<std::string_view> out;
  for (std::size_t p = 0; p < s.size();) {
    const std::size_t width = static_cast<unsigned char>(s[p]) >= 0x80 && p + 1 < s.size() ? 2 : 1;
    out.push_back(s.substr(p, width));
    p += width;
  }
  return out;
}

inline bool is_space_character(std::string_view c) {
  return c == " " || c == "\xA1\xA1";
}

inline std::string reference_lower(std::string_view s) {
  std::string out;
  for (const std::string_view c : characters(s)) {
    if (c.size() == 1) {
      out += static_cast<char>(folded(static_cast<unsigned char>(c[0])));
    } else {
      out.append(c);
    }
  }
  return out;
}

inline std::string reference_trim(std::string_view s) {
  const std::vector<std::string_view> cs = characters(s);
  std::size_t first = 0;
  while (first < cs.size() && is_space_character(cs[first])) ++first;
  std::size_t last = cs.size();  // one past the last kept character
  while (last > first && is_space_character(cs[last - 1])) --last;
  std::string out;
  for (std::size_t i = first; i < last; ++i) out.append(cs[i]);
  return out;
}

inline std::string reference_remove_spaces(std::string_view s) {
  std::string out;
  for (const std::string_view c : characters(s)) {
    if (!is_space_character(c)) out.append(c);
  }
  return out;
}

inline int reference_to_int(std::string_view s) {
  // Full-width forms to single bytes.
  std::string t;
  for (const std::string_view c : characters(s)) {
    const auto lead = static_cast<unsigned char>(c[0]);
    const auto trail = c.size() == 2 ? static_cast<unsigned char>(c[1]) : 0;
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      t += static_cast<char>(trail - 0x80);
    } else if (c == "\xA1\xA1") {
      t += ' ';
    } else if (c == "\xA1\xAB") {
      t += '~';
    } else if (c == "\xA1\xEE" || c == "\xA1\xEF") {
      t += '*';
    } else {
      t.append(c);
    }
  }
  std::size_t p = 0;
  while (p < t.size() && std::string_view(" \t\n\v\f\r").find(t[p]) != std::string_view::npos) {
    ++p;
  }
  bool negative = false;
  if (p < t.size() && (t[p] == '+' || t[p] == '-')) negative = t[p++] == '-';
  std::int64_t value = 0;  // kept modulo 2^32
  for (; p < t.size() && t[p] >= '0' && t[p] <= '9'; ++p) {
    value = (value * 10 + (t[p] - '0')) % (std::int64_t{1} << 32);
  }
  if (negative) value = ((std::int64_t{1} << 32) - value) % (std::int64_t{1} << 32);
  return static_cast<int>(value >= (std::int64_t{1} << 31) ? value - (std::int64_t{1} << 32)
                                                           : value);
}

}  // namespace text_reference
