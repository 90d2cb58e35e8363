// Small pure helpers that take texts and request URLs apart, and the query-value encoder.
//
// None of them validates or percent-decodes a URL. A URL is read as an optional "http://" or
// "https://", the host, optionally ":" and a port, then optionally "/" and the path with its
// query. Positions are 1-based byte positions; every result is a fresh Text.
#pragma once

#include <optional>

#include "base/text.h"

// The text strictly between the first `left_marker` found at or after `start` and the first
// `right_marker` after it; empty when either is missing (a right marker before the left one
// does not count). "#引号" inside a marker stands for a double quote.
Text text_between(const Text& text, const Text& left_marker, const Text& right_marker,
                  int start = 1, bool case_blind = false);

// Everything after the first ":" of a header line, trimmed; empty when there is no ":".
Text header_value(const Text& line);

// The host of `url` in lower case. Without `levels` (authority mode) it is everything between
// the scheme and the next "/"; `domain_only` then keeps the last two labels. With `levels` given
// (label mode) the host keeps its last `levels` + 2 labels, or `levels` + 1 with `domain_only`.
// The port stays attached only when `keep_port` is true.
Text url_host(const Text& url, bool domain_only = false, bool keep_port = false,
              std::optional<int> levels = std::nullopt);

// The explicit port of `url`, else 443 when it starts with "https" (any letter case), else 80.
int url_port(const Text& url);

// Path and query from the first "/" after the host, letter case unchanged; "/" when there is
// none (a query right after the host is dropped).
Text url_path(const Text& url);

// `value` with every byte outside A-Z a-z 0-9 - . _ ~ written as %XX (upper-case hex), so that
// it travels as one query value whatever it holds.
Text encode_query_value(const Text& value);
