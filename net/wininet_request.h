// One complete HTTP exchange through the WinINet-style operations of platform/wininet.
#pragma once

#include "base/text.h"

// The optional arguments, in their order. In/out and out arguments are pointers: null is "not
// passed". `cookies` null is "not supplied", which differs from the empty cookie string: any
// supplied string, even empty, keeps the process-wide cookie store out of the request and
// enables the merge.
struct WinInetArgs {
  int verb = 0;             // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT
  Text post_text{};         // the body when `post_bytes` is empty (not for GET)
  Text* cookies = nullptr;  // in; rewritten by the merge
  Text* new_cookies = nullptr;  // out: the response's cookies (merged when there was a merge)
  Text* headers = nullptr;      // in: extra lines without a trailing CR LF; out: the block sent
  Text* response_headers = nullptr;  // out: the raw response headers
  bool no_redirect = false;
  ByteSet* post_bytes = nullptr;  // in: the body; out: the body sent (not for GET)
  Text proxy{};                   // "host:port"; empty: direct
  bool merge = true;
};

// The response body, or the empty ByteSet when nothing was read. Blocks until the whole body
// is read and dispatches no events meanwhile.
//
// When the session, the connection or the request cannot be opened (an empty host, a port
// outside 0-65535, ...), every argument is left exactly as passed. Otherwise `headers` holds the
// completed block, `post_bytes` the body of a method other than GET, `response_headers` the
// final response's raw headers with every "Set-Cookie" spelled so (empty when no response
// arrived), `new_cookies` the cookies they set, merged into `cookies` when that was supplied
// and `merge` is true (then `cookies` holds the merged string too).
ByteSet wininet_request(const Text& url, const WinInetArgs& args = {});
