// The URL and text-extraction helpers on arbitrary bytes: no crash, no hang, and the properties
// their results promise.
//
// Input: a flags byte, a 16-bit `levels`, then the text (the URL, header line and query value
// too), the left marker and the right marker, separated by zero bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"
#include "fuzz/fuzz_input.h"
#include "net/url.h"

namespace {

using fuzz::check;

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of a query value as encode_query_value writes it, or nullopt when it holds anything
// but unreserved bytes and %XX with upper-case hex.
std::optional<std::string> decoded(std::string_view encoded) {
  std::string out;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += c;
      continue;
    }
    if (c != '%' || i + 2 >= encoded.size() || hex_value(encoded[i + 1]) < 0 ||
        hex_value(encoded[i + 2]) < 0) {
      return std::nullopt;
    }
    out += static_cast<char>(hex_value(encoded[i + 1]) * 16 + hex_value(encoded[i + 2]));
    i += 2;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > fuzz::kMaxLen) return 0;
  fuzz::Input in(data, size);
  const std::uint8_t flags = in.byte();
  const int levels = in.i16();
  const Text text = fuzz::text_of(in.until_zero());
  const Text left = fuzz::text_of(in.until_zero());
  const Text right = fuzz::text_of(in.until_zero());
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const Text between = flags & 1 ? text_between(text, left, right, levels, flags & 2)
                                 : text_between(text, left, right);
  check(text.view().find(between.view()) != std::string_view::npos,
        "text_between gives a piece of the text", input);

  const Text value = header_value(text);
  check(trim_text(value) == value, "header_value is trimmed", input);

  const bool domain_only = flags & 4;
  const bool keep_port = flags & 8;
  const Text host = flags & 16 ? url_host(text, domain_only, keep_port, levels)
                               : url_host(text, domain_only, keep_port);
  check(lower_text(host) == host, "url_host is in lower case", input);

  url_port(text);
  const Text path = url_path(text);
  check(path.view().starts_with('/'), "url_path starts with /", input);

  const std::optional<std::string> round_trip = decoded(encode_query_value(text).view());
  check(round_trip && *round_trip == text.bytes(), "encode_query_value decodes back", input);
  return 0;
}
