// Conversions between Text (CP936) and UTF-16LE byte sets, the form every text takes on its way
// into and out of the HTTP layer.
#pragma once

#include "base/text.h"

// `text` as UTF-16LE code units, 2 bytes each, followed by a 2-byte zero terminator unless
// `drop_terminator` is true. The empty text gives the empty byte set (no terminator either way).
ByteSet to_utf16_bytes(const Text& text, bool drop_terminator = false);

// The CP936 text of the UTF-16LE code units in `bytes`: an odd last byte is ignored and a zero
// unit ends the text (no terminator is needed).
Text from_utf16_bytes(const ByteSet& bytes);
