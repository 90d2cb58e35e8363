// One complete HTTP exchange through the WinHTTP-style operations of platform/winhttp.
#pragma once

#include "base/text.h"

// The optional arguments, in their order. Output arguments are pointers: null is "not
// requested". `cookies` is a pointer too, so that "not supplied" (null) differs from the empty
// cookie string: supplying it, even empty, enables the merge.
struct WinHttpArgs {
  int verb = 0;             // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT
  Text post_text{};         // the request body, sent for every method when not empty
  Text* cookies = nullptr;  // in; rewritten by the merge
  Text* new_cookies = nullptr;       // out: the response's cookies (merged when there was a merge)
  Text headers{};                    // extra header lines separated by CR LF, no trailing CR LF
  Text* response_headers = nullptr;  // out: the raw response headers
  bool no_redirect = false;
  Text server_user{};
  Text server_password{};
  Text proxy{};  // "host:port"; empty: direct
  Text proxy_user{};
  Text proxy_password{};
  int timeout = 0;                // seconds for each of the four limits; below 1: 30 seconds
  Text* location = nullptr;       // out: the value of the response's Location line
  Text* status_text = nullptr;    // out: "200 OK", or a numbered failure message
  ByteSet* body_bytes = nullptr;  // out: the whole body, zero bytes included
  bool merge = true;
};

// The response body as text (decoded from the charset its HTML declares), or the empty Text
// when a step fails; `status_text` then holds the step's numbered message. Output arguments are
// written only on the paths that produce them and otherwise keep the caller's values. After a
// failed body read the call goes on with the bytes read so far.
//
// Pending events are dispatched (platform::process_events) once for every stage reached, after
// each response header line, and after the charset search: nine times plus one per header line
// and one for the charset step for a complete exchange; never when the platform check fails or
// when credentials or options are refused.
Text winhttp_request(const Text& url, const WinHttpArgs& args = {});
