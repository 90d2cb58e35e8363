// The system's Chinese texts are written in UTF-8 in the sources and used as CP936 bytes at run
// time. ZH("登陆成功") converts its literal once, on first use at that place, and yields a
// `const Text&` holding the CP936 bytes. Use it for every literal that holds a non-ASCII
// character; plain ASCII literals need nothing.
#pragma once

#include "base/text.h"
#include "platform/codepage/codepage.h"

#define ZH(utf8_literal)                                                            \
  ([]() -> const ::Text& {                                                          \
    static const ::Text converted(::platform::codepage::utf8_to_cp936(utf8_literal)); \
    return converted;                                                               \
  }())
