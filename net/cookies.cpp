#include "net/cookies.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "net/url.h"

namespace {

// Cuts `n` bytes from the end, as text_left with the length minus n does.
Text cut_end(std::string text, std::size_t n) {
  if (text.size() <= n) return Text();
  text.resize(text.size() - n);
  return Text::result(std::move(text));
}

// A key placed in its partition: the key, its index among all keys and the low half of its
// hash.
struct PlacedKey {
  std::string_view key;
  std::uint32_t index;
  std::uint32_t hash;
};

// Sets first[index] for each key of `part` (in increasing index order) that equals no key
// before it there. `slots` is all zero and at least twice as large as the part: open
// addressing over 8-byte slots, each 0 or the low half of the hash and the key's 1-based
// position in `part`.
void mark_first(const PlacedKey* part, std::size_t n, std::vector<std::uint64_t>& slots,
                std::vector<bool>& first) {
  const std::size_t mask = slots.size() - 1;
  for (std::size_t t = 0; t < n; ++t) {
    const PlacedKey& placed = part[t];
    const std::uint64_t tag = std::uint64_t{placed.hash} << 32;
    for (std::size_t i = placed.hash & mask;; i = (i + 1) & mask) {
      const std::uint64_t slot = slots[i];
      if (slot == 0) {
        slots[i] = tag | (t + 1);
        first[placed.index] = true;
        break;
      }
      if ((slot >> 32 << 32) == tag && part[(slot & 0xFFFFFFFF) - 1].key == placed.key) break;
    }
  }
}

// Calls on_first(i), in order, for each i < n whose key_of(i) equals no earlier key. With many
// keys one hash table would turn every lookup into a cache miss, so the keys are partitioned
// by the top bits of their hashes (keeping their order within each partition) and each
// partition of at most a few thousand keys is marked in a small table of its own.
template <typename KeyOf, typename OnFirst>
void for_each_first(std::size_t n, KeyOf key_of, OnFirst on_first) {
  constexpr std::size_t kPartitionKeys = 4096;
  int bits = 0;
  while ((n >> bits) > kPartitionKeys) ++bits;
  auto partition_of = [bits](std::uint64_t hash) {
    return bits == 0 ? std::size_t{0} : static_cast<std::size_t>(hash >> (64 - bits));
  };
  std::vector<std::uint64_t> hashes(n);
  for (std::size_t k = 0; k < n; ++k) hashes[k] = std::hash<std::string_view>{}(key_of(k));

  // Counting sort of the keys by partition.
  std::vector<std::size_t> start((std::size_t{1} << bits) + 1, 0);
  for (const std::uint64_t hash : hashes) ++start[partition_of(hash) + 1];
  std::size_t largest = 0;
  for (std::size_t p = 1; p < start.size(); ++p) {
    largest = std::max(largest, start[p]);
    start[p] += start[p - 1];
  }
  std::vector<PlacedKey> placed(n);
  {
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (std::size_t k = 0; k < n; ++k) {
      placed[next[partition_of(hashes[k])]++] = {key_of(k), static_cast<std::uint32_t>(k),
                                                 static_cast<std::uint32_t>(hashes[k])};
    }
  }

  std::vector<bool> first(n, false);
  std::vector<std::uint64_t> slots(std::bit_ceil(largest * 2 + 16));
  for (std::size_t p = 0; p + 1 < start.size(); ++p) {
    if (p > 0) std::fill(slots.begin(), slots.end(), 0);
    mark_first(placed.data() + start[p], start[p + 1] - start[p], slots, first);
  }
  for (std::size_t k = 0; k < n; ++k) {
    if (first[k]) on_first(k);
  }
}

bool is_lead(char c) {
  return static_cast<unsigned char>(c) >= 0x80;
}

// split_text over views: the members of `text` between occurrences of `delimiter` that start on
// a character boundary (a byte of 0x80 or more takes the byte after it along). Empty members
// stay; a trailing delimiter makes no empty last member; an empty delimiter gives the whole
// text. The views point into `text`. `*cut_char`, when given, tells whether the text ends with
// a lone lead byte (a double-byte character cut short), which only the last member can hold.
std::vector<std::string_view> split_views(std::string_view text, std::string_view delimiter,
                                          bool* cut_char = nullptr) {
  std::vector<std::string_view> members;
  if (cut_char) *cut_char = false;
  if (text.empty()) return members;
  if (delimiter.empty()) {
    members.push_back(text);
    return members;
  }
  members.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), delimiter[0])) + 1);
  std::size_t member = 0;
  std::size_t p = 0;
  while (p < text.size()) {
    if (text[p] == delimiter[0] && text.compare(p, delimiter.size(), delimiter) == 0) {
      members.push_back(text.substr(member, p - member));
      p += delimiter.size();
      member = p;
    } else {
      p += is_lead(text[p]) ? 2 : 1;
    }
  }
  if (cut_char) *cut_char = p > text.size();
  if (member < text.size()) members.push_back(text.substr(member));
  return members;
}

// cookie_name of a pair taken from a string without spaces, as a view into the pair: the bytes
// before the first "=" on a character boundary. Such a pair holds no space character, so
// trimming its name would change nothing.
std::string_view spaceless_name(std::string_view pair) {
  for (std::size_t p = 0; p < pair.size(); p += is_lead(pair[p]) ? 2 : 1) {
    if (pair[p] == '=') return pair.substr(0, p);
  }
  return pair;
}

// join_unique over a view: the members joined with `separator`, each only at its first
// occurrence.
Text join_unique_view(std::string_view text, std::string_view separator) {
  const std::vector<std::string_view> members = split_views(text, separator);
  std::string out;
  out.reserve(text.size() + separator.size());
  for_each_first(
      members.size(), [&](std::size_t i) { return members[i]; },
      [&](std::size_t i) {
        out.append(members[i]);
        out.append(separator);
      });
  return cut_end(std::move(out), separator.size());
}

}  // namespace

void collect_set_cookie_line(const Text& line, std::string& collected) {
  if (find_text(line, "Set-Cookie") == -1) return;
  const Text pair = find_text(line, ";") != -1
                        ? trim_text(text_between(line, "Set-Cookie:", ";"))
                        : trim_text(replace_text(line, "Set-Cookie:", Text(), 1, -1, false));
  collected.append(pair.view());
  collected.append("; ");
}

Text finish_set_cookies(std::string collected) {
  return cut_end(std::move(collected), 2);
}

Text collect_set_cookies(const Text& raw_headers) {
  std::string collected;
  for (const Text& line : split_text(raw_headers, "\r\n")) collect_set_cookie_line(line, collected);
  return finish_set_cookies(std::move(collected));
}

Text merge_cookies(Text& old_cookies, Text& new_cookies) {
  old_cookies = remove_spaces(old_cookies);
  new_cookies = remove_spaces(new_cookies);
  // Views into the two texts, which stay unchanged until the result is assigned.
  bool old_cut = false;
  bool new_cut = false;
  const std::vector<std::string_view> old_pairs = split_views(old_cookies.view(), ";", &old_cut);
  const std::vector<std::string_view> new_pairs = split_views(new_cookies.view(), ";", &new_cut);

  // The new list is the new pairs followed by the old ones whose names no pair before them on
  // the list has: the first pair of each name among the new names, then the old names.
  const std::size_t new_count = new_pairs.size();
  auto pair_at = [&](std::size_t i) {
    return i < new_count ? new_pairs[i] : old_pairs[i - new_count];
  };
  std::vector<std::uint32_t> carried;  // indices into old_pairs
  std::size_t new_first = 0;
  for_each_first(
      new_count + old_pairs.size(), [&](std::size_t i) { return spaceless_name(pair_at(i)); },
      [&](std::size_t i) {
        if (i < new_count) {
          ++new_first;
        } else {
          carried.push_back(static_cast<std::uint32_t>(i - new_count));
        }
      });

  std::string kept;
  kept.reserve(new_cookies.view().size() + old_cookies.view().size() +
               2 * (new_pairs.size() + carried.size()));
  bool last_kept_empty = false;
  auto keep = [&](std::string_view pair) {
    if (pair.ends_with("=deleted")) return;
    kept.append(pair);
    kept.append("; ");
    last_kept_empty = pair.empty();
  };
  for (const std::string_view pair : new_pairs) keep(pair);
  for (const std::uint32_t i : carried) keep(old_pairs[i]);
  if (kept.size() >= 2) kept.resize(kept.size() - 2);

  // Dropping exact repeats: equal pairs have equal names, and only new pairs can share a name,
  // so with no shared new name there is nothing to drop. Splitting `kept` at "; " again then
  // gives back the kept pairs, except where a pair ends with a lone lead byte (its character
  // takes the separator after it) or the last pair is empty (no member after a final "; ").
  if (new_first == new_count && !old_cut && !new_cut && !last_kept_empty) {
    old_cookies = Text::result(std::move(kept));
  } else {
    old_cookies = join_unique_view(kept, "; ");
  }
  return old_cookies;
}

Text cookie_name(const Text& pair) {
  const int p = find_text(pair, "=");
  return trim_text(p == -1 ? pair : text_left(pair, p - 1));
}

bool cookie_name_listed(const TextArray& list, const Text& name) {
  for (const Text& pair : list) {
    if (compare_text(cookie_name(pair), name) == 0) return true;
  }
  return false;
}

Text join_unique(const Text& text, const Text& separator) {
  return join_unique_view(text.view(), separator.view());
}

int find_in_list(const TextArray& list, const Text& member) {
  for (int i = 1; i <= array_count(list); ++i) {
    if (compare_text(list[i], member) == 0) return i;
  }
  return -1;
}
