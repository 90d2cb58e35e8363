// The WinHTTP response handling on arbitrary raw headers and body bytes, without a network:
// no crash, no hang, and the properties of its outputs.
//
// Input: a flags byte (which arguments are supplied, and whether the headers come as UTF-16LE
// bytes or as CP936 text to be widened), the length of the caller's cookie string (one byte)
// and of the headers (two bytes), then the cookie string, the headers and, to the end, the body.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/text.h"
#include "fuzz/fuzz_input.h"
#include "net/utf16.h"
#include "net/winhttp_response.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > fuzz::kMaxLen) return 0;
  using fuzz::check;
  fuzz::Input in(data, size);
  const std::uint8_t flags = in.byte();
  const std::size_t cookies_length = in.byte();
  const std::size_t headers_length = in.u16();
  const Text cookies_in = fuzz::text_of(in.take(cookies_length));
  const std::string_view headers = in.take(headers_length);
  const ByteSet body(std::string(in.rest()));
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const ByteSet raw =
      flags & 0x80 ? ByteSet(std::string(headers)) : to_utf16_bytes(fuzz::text_of(headers));
  Text cookies = cookies_in;
  Text new_cookies("before");
  Text response_headers("before");
  Text location("before");
  Text status_text("before");
  ByteSet body_bytes;
  const WinHttpArgs args{
      .cookies = flags & 1 ? &cookies : nullptr,
      .new_cookies = flags & 2 ? &new_cookies : nullptr,
      .response_headers = flags & 4 ? &response_headers : nullptr,
      .location = flags & 8 ? &location : nullptr,
      .status_text = flags & 16 ? &status_text : nullptr,
      .body_bytes = flags & 32 ? &body_bytes : nullptr,
      .merge = (flags & 64) != 0,
  };
  handle_raw_response(raw, body, args);

  if (args.body_bytes) check(body_bytes == body, "body_bytes holds the whole body", input);
  if (args.response_headers) {
    // Every spelling of the Set-Cookie header name reads "Set-Cookie".
    for (int p = find_text(response_headers, "set-cookie", 1, true); p != -1;
         p = find_text(response_headers, "set-cookie", p + 1, true)) {
      check(text_mid(response_headers, p, 10) == Text("Set-Cookie"),
            "Set-Cookie normalised in the headers", input);
    }
  }
  if (args.merge && args.cookies) {
    if (args.new_cookies) check(new_cookies == cookies, "the merge writes both strings", input);
  } else {
    check(cookies == cookies_in, "no merge leaves the cookies alone", input);
  }
  return 0;
}
