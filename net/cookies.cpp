#include "net/cookies.h"

#include <string_view>
#include <unordered_set>

#include "net/url.h"

namespace {

// Cuts `n` bytes from the end, as text_left with the length minus n does.
Text cut_end(std::string text, std::size_t n) {
  if (text.size() <= n) return Text();
  text.resize(text.size() - n);
  return Text::result(std::move(text));
}

bool marks_deleted(const Text& pair) { return text_right(pair, 8) == Text("=deleted"); }

}  // namespace

void collect_set_cookie_line(const Text& line, std::string& collected) {
  if (find_text(line, "Set-Cookie") == -1) return;
  const Text pair = find_text(line, ";") != -1
                        ? trim_text(text_between(line, "Set-Cookie:", ";"))
                        : trim_text(replace_text(line, "Set-Cookie:", Text(), 1, -1, false));
  collected.append(pair.view());
  collected.append("; ");
}

Text finish_set_cookies(std::string collected) { return cut_end(std::move(collected), 2); }

Text collect_set_cookies(const Text& raw_headers) {
  std::string collected;
  for (const Text& line : split_text(raw_headers, "\r\n")) collect_set_cookie_line(line, collected);
  return finish_set_cookies(std::move(collected));
}

Text merge_cookies(Text& old_cookies, Text& new_cookies) {
  old_cookies = remove_spaces(old_cookies);
  new_cookies = remove_spaces(new_cookies);
  const TextArray old_pairs = split_text(old_cookies, ";");
  TextArray pairs = split_text(new_cookies, ";");

  // The names of every pair in `pairs`, kept up to date as old pairs are carried over.
  std::unordered_set<std::string> names;
  names.reserve(static_cast<std::size_t>(array_count(pairs) + array_count(old_pairs)));
  for (const Text& pair : pairs) names.insert(cookie_name(pair).bytes());
  pairs.reserve(array_count(pairs) + array_count(old_pairs));
  for (const Text& pair : old_pairs) {
    if (names.insert(cookie_name(pair).bytes()).second) array_append(pairs, pair);
  }

  std::string kept;
  kept.reserve(static_cast<std::size_t>(text_length(new_cookies) + text_length(old_cookies)) +
               2 * static_cast<std::size_t>(array_count(pairs)));
  for (const Text& pair : pairs) {
    if (marks_deleted(pair)) continue;
    kept.append(pair.view());
    kept.append("; ");
  }
  old_cookies = join_unique(cut_end(std::move(kept), 2), "; ");
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
  const TextArray members = split_text(text, separator);
  // Views into `members`, which outlives the set.
  std::unordered_set<std::string_view> seen;
  seen.reserve(static_cast<std::size_t>(array_count(members)));
  std::string out;
  out.reserve(static_cast<std::size_t>(text_length(text) + text_length(separator)));
  for (const Text& member : members) {
    if (!seen.insert(member.view()).second) continue;
    out.append(member.view());
    out.append(separator.view());
  }
  return cut_end(std::move(out), static_cast<std::size_t>(text_length(separator)));
}

int find_in_list(const TextArray& list, const Text& member) {
  for (int i = 1; i <= array_count(list); ++i) {
    if (compare_text(list[i], member) == 0) return i;
  }
  return -1;
}
