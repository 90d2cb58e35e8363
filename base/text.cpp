#include "base/text.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace {

bool is_lead(unsigned char c) { return c >= 0x80; }

unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

bool equal_bytes(const char* a, const char* b, std::size_t n, bool case_blind) {
  if (!case_blind) return std::memcmp(a, b, n) == 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Position of the first byte of 0x80 or more in [from, to), or `to`. Reads eight bytes at a time
// so that ASCII runs pass quickly.
std::size_t next_high_byte(const char* s, std::size_t from, std::size_t to) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  while (from + 8 <= to) {
    std::uint64_t word;
    std::memcpy(&word, s + from, 8);
    if (word & kHigh) break;
    from += 8;
  }
  while (from < to && !is_lead(static_cast<unsigned char>(s[from]))) ++from;
  return from;
}

// The first character boundary at or after `target`, walking from the boundary `from`.
std::size_t boundary_from(const char* s, std::size_t from, std::size_t target) {
  while (from < target) {
    from = next_high_byte(s, from, target);
    if (from < target) from += 2;
  }
  return from;
}

// The shared forward scan: the 0-based position of the first occurrence of `sub` (m >= 1) that
// starts on a character boundary at or after the boundary `from` and ends within `end` bytes,
// or npos.
std::size_t scan_forward(std::string_view text, std::size_t end, std::size_t from,
                         std::string_view sub, bool case_blind) {
  const std::size_t m = sub.size();
  const char* s = text.data();
  if (case_blind) {
    for (std::size_t p = from; p + m <= end; p += is_lead(static_cast<unsigned char>(s[p])) ? 2 : 1) {
      if (equal_bytes(s + p, sub.data(), m, true)) return p;
    }
    return std::string_view::npos;
  }
  const std::string_view range = text.substr(0, end);
  std::size_t p = from;
  while (p + m <= end) {
    const std::size_t c = range.find(sub, p);
    if (c == std::string_view::npos) return c;
    p = boundary_from(s, p, c);
    if (p == c) return c;
    // The occurrence starts at the second byte of a character; go on after that character.
  }
  return std::string_view::npos;
}

constexpr std::size_t npos = std::string_view::npos;

bool is_space_at(std::string_view s, std::size_t p, std::size_t* width) {
  const unsigned char c = static_cast<unsigned char>(s[p]);
  if (c == 0x20) {
    *width = 1;
    return true;
  }
  if (c == 0xA1 && p + 1 < s.size() && static_cast<unsigned char>(s[p + 1]) == 0xA1) {
    *width = 2;
    return true;
  }
  *width = (is_lead(c) && p + 1 < s.size()) ? 2 : 1;
  return false;
}

}  // namespace

// ---- Text ----

Text::Text(const char* s) : present_(s != nullptr) {
  if (s) bytes_ = s;
}

Text::Text(std::string_view s) : bytes_(s.substr(0, s.find('\0'))), present_(true) {}

Text::Text(std::string s) : bytes_(std::move(s)), present_(true) {
  const auto zero = bytes_.find('\0');
  if (zero != std::string::npos) bytes_.resize(zero);
}

Text Text::result(std::string bytes) {
  if (bytes.empty()) return Text();
  return Text(std::move(bytes));
}

const Text& TextArray::operator[](int i) const {
  assert(i >= 1 && i <= count());
  return items_[static_cast<std::size_t>(i - 1)];
}

Text& TextArray::operator[](int i) {
  assert(i >= 1 && i <= count());
  return items_[static_cast<std::size_t>(i - 1)];
}

// ---- measuring and cutting ----

int text_length(const Text& text) { return text.length(); }

Text text_left(const Text& text, int n) {
  if (n <= 0) return Text();
  return Text::result(text.bytes().substr(0, static_cast<std::size_t>(n)));
}

Text text_right(const Text& text, int n) {
  if (n <= 0) return Text();
  const std::size_t len = text.bytes().size();
  const std::size_t k = std::min(len, static_cast<std::size_t>(n));
  return Text::result(text.bytes().substr(len - k));
}

Text text_mid(const Text& text, int start, int n) {
  if (start < 1 || start > text.length() || n <= 0) return Text();
  return Text::result(
      text.bytes().substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(n)));
}

// ---- searching and comparing ----

int find_text(const Text& text, const Text& sub, int start, bool case_blind) {
  const int len = text.length();
  const int from = start <= 1 ? 1 : start;
  if (from > len) return -1;
  if (sub.empty()) return 1;
  const std::size_t p = scan_forward(text.view(), text.view().size(),
                                     static_cast<std::size_t>(from - 1), sub.view(), case_blind);
  return p == npos ? -1 : static_cast<int>(p) + 1;
}

int find_text_reverse(const Text& text, const Text& sub, int start, bool case_blind) {
  const int len = text.length();
  if (start <= 1) return -1;
  const int end = std::min(start - 1, len);
  if (end < 1) return -1;
  if (sub.empty()) return 1;
  const std::string_view s = text.view();
  const std::size_t limit = static_cast<std::size_t>(end);
  std::size_t last = npos;
  std::size_t from = 0;
  while (true) {
    const std::size_t p = scan_forward(s, limit, from, sub.view(), case_blind);
    if (p == npos) break;
    last = p;
    from = p + (is_lead(static_cast<unsigned char>(s[p])) ? 2 : 1);
  }
  return last == npos ? -1 : static_cast<int>(last) + 1;
}

int compare_text(const Text& a, const Text& b, bool case_sensitive) {
  const std::string_view x = a.view();
  const std::string_view y = b.view();
  if (case_sensitive) {
    const int c = x.compare(y);  // char_traits<char>::compare orders bytes as unsigned
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  // Letter case ignored: only single-byte characters fold; double-byte characters compare as
  // units, which orders the same as their two bytes.
  std::size_t i = 0;
  const std::size_t n = std::min(x.size(), y.size());
  bool x_trail = false;
  while (i < n) {
    const unsigned char cx = static_cast<unsigned char>(x[i]);
    const unsigned char cy = static_cast<unsigned char>(y[i]);
    const unsigned char fx = x_trail ? cx : fold(cx);
    const unsigned char fy = x_trail ? cy : fold(cy);
    if (fx != fy) return fx < fy ? -1 : 1;
    // Equal bytes so far, so both texts share their character boundaries up to here.
    x_trail = !x_trail && is_lead(cx);
    ++i;
  }
  if (x.size() == y.size()) return 0;
  return x.size() < y.size() ? -1 : 1;
}

// ---- building and transforming ----

Text blank_text(int n) {
  if (n < 1) return Text();
  return Text(std::string(static_cast<std::size_t>(n), ' '));
}

Text char_text(int code) {
  const char c = static_cast<char>(code & 0xFF);
  if (c == 0) return Text();
  return Text(std::string(1, c));
}

Text lower_text(const Text& text) {
  std::string out = text.bytes();
  for (std::size_t p = 0; p < out.size();) {
    const unsigned char c = static_cast<unsigned char>(out[p]);
    if (is_lead(c)) {
      p += 2;
    } else {
      out[p] = static_cast<char>(fold(c));
      ++p;
    }
  }
  return Text::result(std::move(out));
}

Text trim_text(const Text& text) {
  const std::string_view s = text.view();
  std::size_t begin = 0;
  std::size_t width = 0;
  while (begin < s.size() && is_space_at(s, begin, &width)) begin += width;
  std::size_t run_start = npos;
  for (std::size_t p = begin; p < s.size(); p += width) {
    if (is_space_at(s, p, &width)) {
      if (run_start == npos) run_start = p;
    } else {
      run_start = npos;
    }
  }
  const std::size_t end = run_start == npos ? s.size() : run_start;
  return Text::result(std::string(s.substr(begin, end - begin)));
}

Text remove_spaces(const Text& text) {
  const std::string_view s = text.view();
  std::string out;
  out.reserve(s.size());
  std::size_t width = 0;
  for (std::size_t p = 0; p < s.size(); p += width) {
    if (!is_space_at(s, p, &width)) out.append(s.substr(p, width));
  }
  return Text::result(std::move(out));
}

Text replace_text(const Text& text, const Text& sub, const Text& replacement, int start,
                  int count, bool case_sensitive) {
  const std::string_view s = text.view();
  const std::size_t m = sub.view().size();
  if (s.empty() || m == 0 || count == 0 ||
      static_cast<long long>(start) - 1 >= static_cast<long long>(s.size())) {
    return Text::result(std::string(s));
  }
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  std::string out;
  out.reserve(s.size());
  out.append(s.substr(0, from));
  std::size_t p = from;
  int done = 0;
  while (true) {
    const std::size_t hit = scan_forward(s, s.size(), p, sub.view(), !case_sensitive);
    if (hit == npos) break;
    out.append(s.substr(p, hit - p));
    out.append(replacement.view());
    p = hit + m;
    if (++done == count) break;
  }
  out.append(s.substr(p));
  return Text::result(std::move(out));
}

TextArray split_text(const Text& text, const Text& delimiter, std::optional<int> max_members) {
  TextArray out;
  const std::string_view s = text.view();
  if (s.empty() || (max_members && *max_members <= 0)) return out;
  if (delimiter.empty()) {
    out.push_back(text);
    return out;
  }
  const std::size_t m = delimiter.view().size();
  std::size_t member = 0;
  while (true) {
    const std::size_t hit = scan_forward(s, s.size(), member, delimiter.view(), false);
    if (hit == npos) break;
    out.push_back(Text::result(std::string(s.substr(member, hit - member))));
    member = hit + m;
    if (max_members && out.count() >= *max_members) return out;
  }
  if (member < s.size() && (!max_members || out.count() < *max_members)) {
    out.push_back(Text(s.substr(member)));
  }
  return out;
}

int text_to_int(const Text& text) {
  // Full-width forms folded to single bytes first.
  const std::string_view s = text.view();
  std::string folded;
  folded.reserve(s.size());
  for (std::size_t p = 0; p < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[p]);
    if (!is_lead(c) || p + 1 >= s.size()) {
      folded.push_back(static_cast<char>(c));
      ++p;
      continue;
    }
    const unsigned char d = static_cast<unsigned char>(s[p + 1]);
    if (c == 0xA3 && d >= 0xA1 && d <= 0xFE) {
      folded.push_back(static_cast<char>(d - 0x80));
    } else if (c == 0xA1 && d == 0xA1) {
      folded.push_back(' ');
    } else if (c == 0xA1 && d == 0xAB) {
      folded.push_back('~');
    } else if (c == 0xA1 && (d == 0xEE || d == 0xEF)) {
      folded.push_back('*');
    } else {
      folded.append(s.substr(p, 2));
    }
    p += 2;
  }
  std::size_t p = 0;
  while (p < folded.size() && (folded[p] == ' ' || (folded[p] >= '\t' && folded[p] <= '\r'))) ++p;
  bool negative = false;
  if (p < folded.size() && (folded[p] == '+' || folded[p] == '-')) negative = folded[p++] == '-';
  std::uint32_t value = 0;
  for (; p < folded.size() && folded[p] >= '0' && folded[p] <= '9'; ++p) {
    value = value * 10u + static_cast<std::uint32_t>(folded[p] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

// ---- byte sets ----

ByteSet text_to_bytes(const Text& text) { return ByteSet(text.bytes()); }

Text bytes_to_text(const ByteSet& bytes) {
  const std::string_view v = bytes.view();
  return Text::result(std::string(v.substr(0, v.find('\0'))));
}

int bytes_length(const ByteSet& bytes) { return bytes.length(); }

ByteSet bytes_left(const ByteSet& bytes, int n) {
  if (n <= 0) return ByteSet();
  return ByteSet(bytes.storage().substr(0, static_cast<std::size_t>(n)));
}

ByteSet blank_bytes(int n) {
  if (n <= 0) return ByteSet();
  return ByteSet(std::string(static_cast<std::size_t>(n), '\0'));
}

ByteSet bytes_at_address(const void* address, int length) {
  if (length <= 0 || address == nullptr) return ByteSet();
  return ByteSet(address, static_cast<std::size_t>(length));
}

bool bytes_equal(const ByteSet& a, const ByteSet& b) { return a == b; }

// ---- arrays ----

int array_count(const TextArray& array) { return array.count(); }

void array_append(TextArray& array, const Text& text) { array.push_back(text); }
