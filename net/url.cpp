#include "net/url.h"

#include <string>
#include <string_view>

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

bool is_lead(char c) {
  return static_cast<unsigned char>(c) >= 0x80;
}

char fold(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Authority mode reads the URL lowered (lower_text), with "/" appended when it does not end in
// one. This is that text without building it: byte `i` of it, for i up to length().
class LoweredUrl {
 public:
  explicit LoweredUrl(std::string_view url)
      : url_(url), length_(url.size() + (url.empty() || url.back() != '/' ? 1 : 0)) {}

  std::size_t length() const { return length_; }
  // Letter case needs no care here: the bytes compared are ASCII on character boundaries.
  char at(std::size_t i) const { return i < url_.size() ? url_[i] : '/'; }
  // The next character boundary after the boundary `i`.
  std::size_t next(std::size_t i) const { return i + (is_lead(at(i)) ? 2 : 1); }

  // True when the lower-case ASCII `word` starts at the boundary `i`. Every byte of a match is
  // ASCII, so each is a boundary that lower_text folds.
  bool word_at(std::size_t i, std::string_view word) const {
    if (i + word.size() > length_) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
      if (fold(at(i + k)) != word[k]) return false;
    }
    return true;
  }

  // The first boundary at or after the boundary `from` holding `c`, or npos.
  std::size_t find(char c, std::size_t from) const {
    for (std::size_t i = from; i < length_; i = next(i)) {
      if (at(i) == c) return i;
    }
    return std::string_view::npos;
  }

 private:
  std::string_view url_;
  std::size_t length_;
};

// The host with its port, as authority mode cuts it out, before the lowering: a piece of `url`
// that starts on a character boundary. Empty when there is none.
std::string_view authority_of(std::string_view url) {
  const LoweredUrl u(url);
  std::size_t begin = 0;  // just after the scheme marker
  if (u.word_at(0, "https://")) {
    begin = 8;
  } else {
    // The first "http://" anywhere; without one the URL counts as prefixed with it.
    for (std::size_t i = 0; i < u.length(); i = u.next(i)) {
      if (u.word_at(i, "http://")) {
        begin = i + 7;
        break;
      }
    }
  }
  const std::size_t end = u.find('/', begin);
  if (end == std::string_view::npos) return {};
  return url.substr(begin, end - begin);  // the appended "/" is at url.size() at most
}

// `piece` (starting on a character boundary) as lower_text gives it.
std::string lowered(std::string_view piece) {
  std::string out(piece);
  for (std::size_t i = 0; i < out.size(); i += is_lead(out[i]) ? 2 : 1) out[i] = fold(out[i]);
  return out;
}

// The boundary of the first (or, with `last`, the last) `c` in `piece`, or npos.
std::size_t find_char(std::string_view piece, char c, bool last = false) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < piece.size(); i += is_lead(piece[i]) ? 2 : 1) {
    if (piece[i] != c) continue;
    found = i;
    if (!last) break;
  }
  return found;
}

Text host_by_authority(const Text& url, bool domain_only, bool keep_port) {
  std::string_view authority = authority_of(url.view());
  if (domain_only) {
    Text host = Text::result(lowered(authority));
    const TextArray labels = split_text(host, ".");
    const int n = array_count(labels);
    if (n > 1) host = concat_text(labels[n - 1], ".", labels[n]);
    return strip_port(host, keep_port);
  }
  if (!keep_port) authority = authority.substr(0, find_char(authority, ':'));
  return Text::result(lowered(authority));
}

// True when lower_text of `url` begins with the lower-case ASCII `prefix`.
bool starts_lowered_with(std::string_view url, std::string_view prefix) {
  if (url.size() < prefix.size()) return false;
  for (std::size_t k = 0; k < prefix.size(); ++k) {
    if (fold(url[k]) != prefix[k]) return false;
  }
  return true;
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
  const std::string_view host = authority_of(url.view());
  const std::size_t k = find_char(host, ':', /*last=*/true);
  // Lowering leaves digits, signs and blanks alone, and every other byte ends the number.
  if (k != std::string_view::npos) return text_to_int(Text(host.substr(k + 1)));
  return starts_lowered_with(url.view(), "https") ? 443 : 80;
}

Text url_path(const Text& url) {
  const Text host = url_host(url);
  // The host is looked for after the scheme: a host such as "t" or "p" would otherwise be found
  // inside "http://" and the path would start at the scheme's slashes.
  const int after_scheme = starts_lowered_with(url.view(), "https://")  ? 9
                           : starts_lowered_with(url.view(), "http://") ? 8
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
