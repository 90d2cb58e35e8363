#include "net/url.h"

#include <string>

#include "base/literal.h"

namespace {

// The port rule shared by both modes of url_host.
Text strip_port(const Text& host, bool keep_port) {
  if (keep_port) return host;
  const int colon = find_text(host, ":");
  return colon == -1 ? host : text_left(host, colon - 1);
}

Text quote_markers(const Text& marker) {
  return replace_text(marker, ZH("#引号"), "\"", 1, -1, /*case_sensitive=*/true);
}

Text host_by_authority(const Text& url, bool domain_only, bool keep_port) {
  Text u = lower_text(url);
  if (text_right(u, 1) != Text("/")) u = concat_text(u, "/");
  Text host;
  if (text_left(u, 8) == Text("https://")) {
    host = text_between(u, "https://", "/");
  } else {
    if (find_text(u, "http://") == -1) u = concat_text("http://", u);
    host = text_between(u, "http://", "/");
  }
  if (domain_only) {
    const TextArray labels = split_text(host, ".");
    const int n = array_count(labels);
    if (n > 1) host = concat_text(labels[n - 1], ".", labels[n]);
  }
  return strip_port(host, keep_port);
}

Text host_by_labels(const Text& url, bool domain_only, bool keep_port, int levels) {
  Text u = lower_text(url);
  u = replace_text(u, "http://", Text(), 1, -1, true);
  u = replace_text(u, "https://", Text(), 1, -1, true);
  const int slash = find_text(u, "/");
  if (slash != -1) u = text_left(u, slash - 1);
  const int n = text_length(u);
  int pos = n;
  // Once no "." is left before pos it stays so; stopping there keeps a huge `levels` cheap.
  for (int i = 0; i < levels && pos != -1; ++i) pos = find_text_reverse(u, ".", pos);
  const int last = pos == -1 ? -1 : find_text_reverse(u, ".", pos);
  if (domain_only) {
    u = text_right(u, n - last);
  } else if (last != -1) {
    const int prev = find_text_reverse(u, ".", last);
    if (prev != -1) u = text_right(u, n - prev);
  }
  return strip_port(u, keep_port);
}

}  // namespace

Text text_between(const Text& text, const Text& left_marker, const Text& right_marker, int start,
                  bool case_blind) {
  const Text left = quote_markers(left_marker);
  const Text right = quote_markers(right_marker);
  int p = find_text(text, left, start, case_blind);
  if (p != -1) p += text_length(left);
  const int q = find_text(text, right, p, case_blind);
  if (p == -1 || q == -1) return Text();
  return text_mid(text, p, q - p);
}

Text header_value(const Text& line) {
  const int p = find_text(line, ":");
  if (p == -1) return Text();
  return trim_text(text_right(line, text_length(line) - p));
}

Text url_host(const Text& url, bool domain_only, bool keep_port, std::optional<int> levels) {
  if (levels) return host_by_labels(url, domain_only, keep_port, *levels);
  return host_by_authority(url, domain_only, keep_port);
}

int url_port(const Text& url) {
  const Text host = url_host(url, false, true);
  const int k = find_text_reverse(host, ":");
  if (k != -1) return text_to_int(text_right(host, text_length(host) - k));
  return text_left(lower_text(url), 5) == Text("https") ? 443 : 80;
}

Text url_path(const Text& url) {
  const Text host = url_host(url);
  // The host is looked for after the scheme: a host such as "t" or "p" would otherwise be found
  // inside "http://" and the path would start at the scheme's slashes.
  const Text scheme = lower_text(text_left(url, 8));
  const int after_scheme = scheme == Text("https://")                ? 9
                           : text_left(scheme, 7) == Text("http://") ? 8
                                                                     : 1;
  const int a = find_text(url, host, after_scheme, true);
  const int b = find_text(url, "/", a, true);
  if (b == -1) return "/";
  return text_right(url, text_length(url) - b + 1);
}

Text encode_query_value(const Text& value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string_view in = value.view();
  std::string out;
  out.reserve(in.size() * 3);
  for (const char c : in) {
    const unsigned char b = static_cast<unsigned char>(c);
    const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                            (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' || b == '~';
    if (unreserved) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    }
  }
  return Text::result(std::move(out));
}
