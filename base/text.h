// Text, ByteSet and TextArray, and the primitives every other module works with.
//
// Conventions shared by every primitive here:
// - A Text holds CP936 (GBK) bytes and never a zero byte. Positions are 1-based byte positions;
//   a search that finds nothing gives -1.
// - A Text may be absent. Every primitive and comparison treats an absent Text exactly like the
//   empty one; the difference shows only where a platform call wants a string pointer
//   (`c_str_or_null`). Every primitive returns an absent Text when its result is empty, except
//   `concat_text`, whose result is always present.
// - Searching and transforming primitives step over double-byte characters as units: a byte of
//   0x80 or more and the byte after it are one character, and no match, member or case change
//   starts at the second byte. The cutting primitives count plain bytes.
// - Results are new values; no primitive modifies its arguments except `array_append`.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Text {
 public:
  // Absent.
  Text() = default;
  // Present, holding the bytes up to the first zero byte. A null pointer gives an absent Text.
  Text(const char* s);  // NOLINT(google-explicit-constructor): literals read as texts
  Text(std::string_view s);  // NOLINT(google-explicit-constructor)
  Text(std::string s);  // NOLINT(google-explicit-constructor)

  // The result convention of the primitives: absent when `bytes` is empty.
  static Text result(std::string bytes);

  bool absent() const { return !present_; }
  bool empty() const { return bytes_.empty(); }
  int length() const { return static_cast<int>(bytes_.size()); }
  const std::string& bytes() const { return bytes_; }
  std::string_view view() const { return bytes_; }
  // A null pointer for an absent Text, else the zero-terminated bytes.
  const char* c_str_or_null() const { return present_ ? bytes_.c_str() : nullptr; }
  // Byte at a 1-based position, 0 outside the text (the terminator, as it were).
  unsigned char at(int position) const {
    return position >= 1 && position <= length()
               ? static_cast<unsigned char>(bytes_[position - 1])
               : 0;
  }

  // Absent and empty compare equal.
  friend bool operator==(const Text& a, const Text& b) { return a.bytes_ == b.bytes_; }

 private:
  std::string bytes_;
  bool present_ = false;
};

// A length-counted byte buffer that may hold zero bytes. Absent and empty are the same.
class ByteSet {
 public:
  ByteSet() = default;
  explicit ByteSet(std::string bytes) : bytes_(std::move(bytes)) {}
  ByteSet(const void* data, std::size_t size)
      : bytes_(static_cast<const char*>(data), size) {}

  int length() const { return static_cast<int>(bytes_.size()); }
  bool empty() const { return bytes_.empty(); }
  const unsigned char* data() const {
    return reinterpret_cast<const unsigned char*>(bytes_.data());
  }
  // Null when empty, as a platform call receives an absent byte set.
  const unsigned char* data_or_null() const { return bytes_.empty() ? nullptr : data(); }
  std::string_view view() const { return bytes_; }
  // The underlying storage, for appending in place.
  std::string& storage() { return bytes_; }
  const std::string& storage() const { return bytes_; }

  friend bool operator==(const ByteSet& a, const ByteSet& b) { return a.bytes_ == b.bytes_; }

 private:
  std::string bytes_;
};

// A one-dimensional array of Text with elements numbered from 1. An empty member is held as an
// absent Text.
class TextArray {
 public:
  TextArray() = default;
  TextArray(std::initializer_list<Text> items) : items_(items) {}

  int count() const { return static_cast<int>(items_.size()); }
  // Element i, 1 <= i <= count(); any other i is a programming fault.
  const Text& operator[](int i) const;
  Text& operator[](int i);

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  void reserve(int n) { items_.reserve(static_cast<std::size_t>(n)); }
  void push_back(Text t) { items_.push_back(std::move(t)); }

  friend bool operator==(const TextArray& a, const TextArray& b) { return a.items_ == b.items_; }

 private:
  std::vector<Text> items_;
};

// ---- measuring and cutting (plain bytes) ----
int text_length(const Text& text);
// The first n bytes; empty when n <= 0; the whole text when n >= its length.
Text text_left(const Text& text, int n);
// The last n bytes; empty when n <= 0; the whole text when n >= its length.
Text text_right(const Text& text, int n);
// n bytes from position `start`, fewer when the text ends first; empty when start < 1, start is
// past the last byte, or n <= 0.
Text text_mid(const Text& text, int start, int n);

// ---- searching and comparing ----
// First occurrence of `sub` at or after `start` (any start <= 1 is the beginning; past the end
// finds nothing). An empty `sub` gives 1 when the range is not empty. Letter case is ignored
// when `case_blind` is true (ASCII letters, byte by byte).
int find_text(const Text& text, const Text& sub, int start = 1, bool case_blind = false);
// Last occurrence of `sub` lying wholly before `start` (omitted: the whole text; start <= 1
// finds nothing).
inline constexpr int kAfterEnd = 0x7fffffff;
int find_text_reverse(const Text& text, const Text& sub, int start = kAfterEnd,
                      bool case_blind = false);
// 0 when equal. Case-sensitive: -1 or 1, byte by byte as unsigned values, a prefix first.
// Letter case ignored: a negative or positive number; double-byte characters compare as units
// and only single-byte letters fold.
int compare_text(const Text& a, const Text& b, bool case_sensitive = true);

// ---- building and transforming ----
namespace text_detail {
inline std::string_view piece(const Text& t) { return t.view(); }
inline std::string_view piece(std::string_view s) { return s; }
inline std::string_view piece(const char* s) { return s ? std::string_view(s) : std::string_view(); }
}  // namespace text_detail

// The concatenation of the parts; always present. Built in one allocation.
template <typename... Parts>
Text concat_text(const Parts&... parts) {
  std::string out;
  out.reserve((text_detail::piece(parts).size() + ... + std::size_t{0}));
  (out.append(text_detail::piece(parts)), ...);
  return Text(std::move(out));
}

// n spaces; empty when n < 1.
Text blank_text(int n);
// A one-byte text holding the low 8 bits of `code`; absent when that byte is 0.
Text char_text(int code);
// ASCII A-Z to a-z; both bytes of every double-byte character unchanged.
Text lower_text(const Text& text);
// Without leading and trailing space characters (0x20 and the full-width space A1 A1).
Text trim_text(const Text& text);
// Without any space character (0x20 and A1 A1).
Text remove_spaces(const Text& text);
// Occurrences of `sub` from `start` replaced, at most `count` of them (negative: all). Letter
// case is ignored unless `case_sensitive` is true. Replaced text is not searched again.
Text replace_text(const Text& text, const Text& sub, const Text& replacement = Text(),
                  int start = 1, int count = -1, bool case_sensitive = false);
// The members between delimiters (exact bytes). Every delimiter closes a member; empty members
// stay (as absent elements); a trailing delimiter makes no empty last member. With
// `max_members`, at most that many members (0 or less: none).
TextArray split_text(const Text& text, const Text& delimiter = ",",
                     std::optional<int> max_members = std::nullopt);
// The leading decimal integer after full-width folding and leading white space, modulo 2^32.
int text_to_int(const Text& text);

// ---- byte sets ----
ByteSet text_to_bytes(const Text& text);
// The bytes up to, not including, the first zero byte.
Text bytes_to_text(const ByteSet& bytes);
int bytes_length(const ByteSet& bytes);
// The first n bytes; empty when n <= 0; all when n >= the length.
ByteSet bytes_left(const ByteSet& bytes, int n);
// n zero bytes; empty when n <= 0.
ByteSet blank_bytes(int n);
template <typename... Sets>
ByteSet concat_bytes(const Sets&... sets) {
  std::string out;
  out.reserve((sets.storage().size() + ... + std::size_t{0}));
  (out.append(sets.storage()), ...);
  return ByteSet(std::move(out));
}
// A copy of `length` bytes at `address`; empty when length <= 0.
ByteSet bytes_at_address(const void* address, int length);
bool bytes_equal(const ByteSet& a, const ByteSet& b);

// ---- arrays ----
int array_count(const TextArray& array);
// Grows the array by a copy of `text` at the end.
void array_append(TextArray& array, const Text& text);
