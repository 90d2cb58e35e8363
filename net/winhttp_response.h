// The response handling of winhttp_request, once the body has been read (internal to net/).
#pragma once

#include "base/text.h"
#include "net/winhttp_request.h"
#include "platform/winhttp/winhttp.h"

// Queries the raw headers of `request` and fills the output arguments from them; the result
// text of the call. A failed header query writes nothing and gives the empty Text. Ends with
// one platform::process_events().
Text handle_winhttp_response(platform::winhttp::Request& request, ByteSet body,
                             const WinHttpArgs& args);

// The same handling once the header query has succeeded, from the raw headers as it delivers
// them (UTF-16LE bytes; a zero unit or the end of the bytes ends them). Needs no request.
Text handle_raw_response(const ByteSet& raw_headers, ByteSet body, const WinHttpArgs& args);
