// The cookie-merge loops exactly as the cookie rules state them, with their repeated scans and
// repeated concatenation: the reference the linear implementation is checked and measured
// against. Quadratic on purpose; keep inputs small.
#pragma once

#include "base/text.h"

namespace cookie_reference {

inline Text ref_cookie_name(const Text& pair) {
  const int p = find_text(pair, "=");
  Text name = p == -1 ? pair : text_left(pair, p - 1);
  return trim_text(name);
}

inline bool ref_cookie_name_listed(const TextArray& list, const Text& name) {
  for (int i = 1; i <= array_count(list); ++i) {
    if (compare_text(ref_cookie_name(list[i]), name) == 0) return true;
  }
  return false;
}

inline int ref_find_in_list(const TextArray& list, const Text& member) {
  for (int i = 1; i <= array_count(list); ++i) {
    if (compare_text(list[i], member) == 0) return i;
  }
  return -1;
}

inline Text ref_join_unique(const Text& text, const Text& separator) {
  const TextArray members = split_text(text, separator);
  TextArray seen;
  Text out;
  for (int i = 1; i <= array_count(members); ++i) {
    if (ref_find_in_list(seen, members[i]) == -1) {
      array_append(seen, members[i]);
      out = concat_text(out, members[i], separator);
    }
  }
  return text_left(out, text_length(out) - text_length(separator));
}

inline Text ref_merge_cookies(Text& old_cookies, Text& new_cookies) {
  old_cookies = remove_spaces(old_cookies);
  new_cookies = remove_spaces(new_cookies);
  const TextArray old_pairs = split_text(old_cookies, ";");
  TextArray new_pairs = split_text(new_cookies, ";");
  for (int i = 1; i <= array_count(old_pairs); ++i) {
    if (!ref_cookie_name_listed(new_pairs, ref_cookie_name(old_pairs[i]))) {
      array_append(new_pairs, old_pairs[i]);
    }
  }
  old_cookies = Text();
  for (int i = 1; i <= array_count(new_pairs); ++i) {
    if (text_right(new_pairs[i], 8) != Text("=deleted")) {
      old_cookies = concat_text(old_cookies, new_pairs[i], "; ");
    }
  }
  old_cookies = text_left(old_cookies, text_length(old_cookies) - 2);
  old_cookies = ref_join_unique(old_cookies, "; ");
  return old_cookies;
}

}  // namespace cookie_reference
