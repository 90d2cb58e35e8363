// Cookie strings: collecting a response's Set-Cookie headers and merging them into a caller's
// cookies.
//
// A cookie string holds pairs (name "=" value) joined by "; ", with no separator before the
// first or after the last pair; the empty text is the empty cookie string. A pair's name is the
// text before its first "=", trimmed; a pair without "=" is all name. Names and pairs compare
// byte for byte, letter case significant. A pair ending in "=deleted" marks a deleted cookie.
#pragma once

#include <string>

#include "base/text.h"

// The cookie string of the Set-Cookie lines of `raw_headers` (lines separated by CR LF, header
// names already spelled "Set-Cookie"). Each cookie's attributes are dropped.
Text collect_set_cookies(const Text& raw_headers);

// The per-line step of collect_set_cookies, for callers that walk the header lines themselves:
// a line holding "Set-Cookie" adds its pair and "; " to `collected`; any other line leaves it
// unchanged. `finish_set_cookies` then turns what was collected into the cookie string.
void collect_set_cookie_line(const Text& line, std::string& collected);
Text finish_set_cookies(std::string collected);

// Merges the pairs a response set (`new_cookies`) into a caller's cookie string
// (`old_cookies`), both read as pairs separated by ";". The result lists the new pairs in their
// order, then the old pairs whose names the new ones do not set (the first of equal names
// only); pairs ending in "=deleted" are dropped, exact repeats of a pair are dropped, and no
// spaces remain inside pairs. On return `old_cookies` holds the result too and `new_cookies`
// holds its input without spaces.
Text merge_cookies(Text& old_cookies, Text& new_cookies);

// The pair's name: the text before the first "=" (the whole pair without one), trimmed.
Text cookie_name(const Text& pair);

// True when some pair of `list` has exactly the name `name`.
bool cookie_name_listed(const TextArray& list, const Text& name);

// `text` split at `separator`, members equal to an earlier one dropped, joined again.
Text join_unique(const Text& text, const Text& separator);

// The 1-based index of the first element of `list` equal to `member`, -1 when none is.
int find_in_list(const TextArray& list, const Text& member);
