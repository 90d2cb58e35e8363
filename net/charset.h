// Decoding a response body from the charset its HTML declares.
#pragma once

#include "base/text.h"

// The body as CP936 text. Looks for a meta tag declaring a charset in the first 1024 bytes of
// `body_text` (the body up to its first zero byte); when one is declared and it is neither "gbk"
// nor "gb2312" (exact, case-sensitive: "GB2312" is decoded), decodes the whole of `body_bytes`
// from it. Characters CP936 lacks, and malformed input, become "?". The result stops at the
// first zero byte of the decoded text, as every Text does.
//
// Returns a copy of `body_text` when nothing is declared, when the declared charset is skipped,
// and when it names no encoding the conversion knows. Runs platform::process_events() once
// whenever the charset search could run.
Text convert_declared_charset(const Text& body_text, const ByteSet& body_bytes);
