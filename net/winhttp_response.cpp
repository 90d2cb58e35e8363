#include "net/winhttp_response.h"

#include <cstdint>
#include <string>
#include <utility>

#include "net/charset.h"
#include "net/cookies.h"
#include "net/utf16.h"
#include "platform/events/events.h"

namespace wh = platform::winhttp;

namespace {

// The raw headers at their full size: the first call only reports the size.
bool query_headers(wh::Request& request, ByteSet& buffer) {
  std::uint32_t size = 0;
  wh::query_raw_headers(request, nullptr, size);
  buffer = blank_bytes(static_cast<int>(size));
  return wh::query_raw_headers(request, buffer.storage().data(), size);
}

Text response_text(ByteSet body, const WinHttpArgs& args) {
  // The body moves into `body_bytes` when it is requested: the same bytes, never held twice.
  const ByteSet* bytes = &body;
  if (args.body_bytes) {
    *args.body_bytes = std::move(body);
    bytes = args.body_bytes;
  }
  const Text text = bytes_to_text(*bytes);
  return convert_declared_charset(text, *bytes);
}

}  // namespace

Text handle_winhttp_response(wh::Request& request, ByteSet body, const WinHttpArgs& args) {
  ByteSet buffer;
  if (!query_headers(request, buffer)) {
    platform::process_events();
    return Text();
  }
  return handle_raw_response(buffer, std::move(body), args);
}

Text handle_raw_response(const ByteSet& raw_headers, ByteSet body, const WinHttpArgs& args) {
  Text headers = from_utf16_bytes(raw_headers);
  const int line_end = find_text(headers, "\r\n", 10);
  if (args.status_text) *args.status_text = text_mid(headers, 10, line_end - 10);
  headers = replace_text(headers, "Set-Cookie", "Set-Cookie");
  const TextArray lines = split_text(headers, "\r\n");
  if (args.response_headers) *args.response_headers = std::move(headers);

  // One pass over the lines: the cookies, the Location, a dispatch after each line.
  std::string collected;
  for (const Text& line : lines) {
    collect_set_cookie_line(line, collected);
    if (args.location && compare_text(text_left(line, 10), "Location: ", false) == 0) {
      *args.location = text_mid(line, 11, text_length(line) - 10);
    }
    platform::process_events();
  }
  Text new_cookies = finish_set_cookies(std::move(collected));
  if (args.merge && args.cookies) new_cookies = merge_cookies(*args.cookies, new_cookies);
  if (args.new_cookies) *args.new_cookies = std::move(new_cookies);

  Text result = response_text(std::move(body), args);
  platform::process_events();
  return result;
}
