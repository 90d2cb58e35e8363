#include "net/utf16.h"

#include <gtest/gtest.h>

#include <string>

#include "base/literal.h"

namespace {

ByteSet bytes(std::string s) {
  return ByteSet(std::move(s));
}

TEST(ToUtf16Bytes, Cases) {
  struct Row {
    const char* name;
    Text text;
    bool drop_terminator;
    ByteSet want;
  } rows[] = {
      {"terminator kept", "ab", false, bytes({"a\0b\0\0\0", 6})},
      {"terminator dropped", "ab", true, bytes({"a\0b\0", 4})},
      {"empty", "", false, ByteSet()},
      {"empty, terminator dropped", "", true, ByteSet()},
      {"Chinese", ZH("中文"), false, bytes({"\x2D\x4E\x87\x65\0\0", 6})},
      {"euro sign 0x80", "\x80", true, bytes({"\xAC\x20", 2})},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(to_utf16_bytes(r.text, r.drop_terminator), r.want);
  }
}

TEST(FromUtf16Bytes, Cases) {
  struct Row {
    const char* name;
    ByteSet in;
    Text want;
  } rows[] = {
      {"with terminator", bytes({"a\0b\0\0\0", 6}), "ab"},
      {"without terminator", bytes({"a\0b\0", 4}), "ab"},
      {"empty", ByteSet(), ""},
      {"odd last byte ignored", bytes({"a\0b\0c", 5}), "ab"},
      {"a single byte gives nothing", bytes("a"), ""},
      {"zero unit ends the text", bytes({"a\0\0\0b\0", 6}), "a"},
      {"zero unit first", bytes({"\0\0a\0", 4}), ""},
      {"Chinese", bytes({"\x2D\x4E\x87\x65", 4}), ZH("中文")},
      {"character the code page lacks", bytes({"a\0\x3D\xD8\x00\xDE", 6}), "a?"},
      {"lone surrogate", bytes({"a\0\x00\xD8\x62\0", 6}), "a?b"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(from_utf16_bytes(r.in).bytes(), r.want.bytes());
  }
}

TEST(Utf16Bytes, RoundTrip) {
  for (const Text& text : {Text("ab"), ZH("登陆成功|x"), concat_text("a", ZH("中"), "\x81\x5C")}) {
    SCOPED_TRACE(text.bytes());
    EXPECT_EQ(from_utf16_bytes(to_utf16_bytes(text)).bytes(), text.bytes());
    EXPECT_EQ(from_utf16_bytes(to_utf16_bytes(text, true)).bytes(), text.bytes());
  }
}

}  // namespace
