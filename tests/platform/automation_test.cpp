#include "platform/automation/automation.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/automation/encoding_labels.h"
#include "platform/codepage/codepage.h"

namespace {

using namespace platform::automation;

Variant text(std::string_view cp936) {
  Variant v;
  variant_assign_text(v, cp936);
  return v;
}

Variant bytes(std::string_view b) {
  Variant v;
  variant_assign_bytes(v, b);
  return v;
}

class Automation : public ::testing::Test {
 protected:
  ApartmentScope apartment_;

  ComObject make(std::string_view progid) {
    ComObject object;
    EXPECT_TRUE(com_create(object, progid)) << progid;
    return object;
  }

  // A RegExp that has searched `subject` for `pattern` (global), and its match collection.
  ComObject execute(std::string_view pattern, std::string_view subject) {
    ComObject re = make("VBScript.RegExp");
    com_set_property(re, "Global", Variant(true));
    com_set_property(re, "Pattern", text(pattern));
    return com_call<ComObject>(re, "Execute", {text(subject)});
  }

  // An open stream holding `body`, ready to be read as text in `charset`.
  ComObject stream_with(std::string_view body, std::string_view charset) {
    ComObject stream = make("Adodb.Stream");
    com_set_property(stream, "Type", Variant(1));
    com_call<void>(stream, "Open");
    com_call<void>(stream, "Write", {bytes(body)});
    com_set_property(stream, "Position", Variant(0));
    com_set_property(stream, "Type", Variant(2));
    com_set_property(stream, "Charset", text(charset));
    return stream;
  }
};

TEST_F(Automation, CreateByProgId) {
  ComObject object;
  EXPECT_TRUE(com_create(object, "VBScript.RegExp"));
  EXPECT_TRUE(com_create(object, "ADODB.STREAM")) << "letter case of a ProgID is ignored";

  // An unknown class leaves the target as it was.
  ComObject held = make("VBScript.RegExp");
  Dispatch* before = held.dispatch();
  EXPECT_FALSE(com_create(held, "Scripting.FileSystemObject"));
  EXPECT_FALSE(com_create(held, ""));
  EXPECT_EQ(held.dispatch(), before);
}

TEST(AutomationApartment, CreateNeedsAnInitialisedThread) {
  ASSERT_EQ(co_initialize_count(), 0);
  ComObject object;
  EXPECT_FALSE(com_create(object, "VBScript.RegExp"));
  EXPECT_TRUE(object.empty());
  co_uninitialize();  // unbalanced: ignored
  EXPECT_EQ(co_initialize_count(), 0);
  {
    ApartmentScope scope;
    EXPECT_TRUE(com_create(object, "VBScript.RegExp"));
  }
  EXPECT_EQ(co_initialize_count(), 0);
  // An object outlives the apartment it was made in.
  EXPECT_TRUE(com_set_property(object, "Pattern", text("a")));
}

// Every failure ends with the empty value of the wanted kind, or false for a write.
TEST_F(Automation, FailuresAreSilent) {
  const ComObject none;
  const ComObject re = make("VBScript.RegExp");
  const ComObject stream = make("Adodb.Stream");
  const ComObject matches = execute("(a)", "a");
  const Variant pattern = text("a");

  struct Row {
    const char* name;
    std::function<bool()> failed;
  } rows[] = {
      {"empty object: write", [&] { return !com_set_property(none, "Pattern", pattern); }},
      {"empty object: text", [&] { return com_get_property<std::string>(none, "Pattern").empty(); }},
      {"empty object: number", [&] { return com_get_property<double>(none, "Count") == 0; }},
      {"empty object: object", [&] { return com_get_property<ComObject>(none, "Item").empty(); }},
      {"empty object: value",
       [&] { return com_get_property<Variant>(none, "Pattern").is_empty(); }},
      {"empty object: call", [&] { return com_call<std::string>(none, "Replace").empty(); }},
      {"unknown member: write", [&] { return !com_set_property(re, "Singleline", Variant(true)); }},
      {"unknown member: read", [&] { return com_get_property<Variant>(re, "Source").is_empty(); }},
      {"unknown method", [&] { return com_call<ComObject>(re, "Compile", {pattern}).empty(); }},
      {"method without its argument", [&] { return com_call<ComObject>(re, "Execute").empty(); }},
      {"method with one argument too many",
       [&] { return com_call<ComObject>(re, "Execute", {pattern, pattern}).empty(); }},
      {"Replace with one argument",
       [&] { return com_call<std::string>(re, "Replace", {pattern}).empty(); }},
      {"property with an argument",
       [&] { return com_get_property<double>(matches, "Count", {Variant(0)}) == 0; }},
      {"Item without its index", [&] { return com_get_property<ComObject>(matches, "Item").empty(); }},
      {"Item past the end",
       [&] { return com_get_property<ComObject>(matches, "Item", {Variant(1.0)}).empty(); }},
      {"negative Item", [&] { return com_get_property<ComObject>(matches, "Item", {Variant(-1)}).empty(); }},
      {"Item with a string index",
       [&] { return com_get_property<ComObject>(matches, "Item", {text("0")}).empty(); }},
      {"wrong kind: a byte array as a flag",
       [&] { return !com_set_property(re, "Global", bytes("1")); }},
      {"wrong kind: an object as the pattern",
       [&] { return !com_set_property(re, "Pattern", Variant(re)); }},
      {"wrong kind: Write of a string", [&] { return com_call<Variant>(stream, "Write", {pattern}).is_empty(); }},
      {"object error: a read-only member written",
       [&] { return !com_set_property(matches, "Count", Variant(2)); }},
      {"object error: stream not open",
       [&] { return com_call<std::string>(stream, "ReadText").empty(); }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_TRUE(r.failed());
  }

  // A pattern the engine rejects: Execute, Test and Replace fail; the object stays usable.
  ComObject bad = make("VBScript.RegExp");
  ASSERT_TRUE(com_set_property(bad, "Pattern", text("(")));
  EXPECT_TRUE(com_call<ComObject>(bad, "Execute", {pattern}).empty());
  EXPECT_TRUE(com_call<Variant>(bad, "Test", {pattern}).is_empty());
  EXPECT_TRUE(com_call<Variant>(bad, "Replace", {pattern, pattern}).is_empty());
  ASSERT_TRUE(com_set_property(bad, "Pattern", text("a")));
  EXPECT_EQ(com_call<std::string>(bad, "Test", {pattern}), "-1");
}

TEST_F(Automation, RegExpProperties) {
  ComObject re = make("VBScript.RegExp");
  EXPECT_EQ(com_get_property<std::string>(re, "IgnoreCase"), "0");
  EXPECT_EQ(com_get_property<std::string>(re, "global"), "0") << "member names ignore case";
  EXPECT_TRUE(com_set_property(re, "IgnoreCase", Variant(true)));
  EXPECT_TRUE(com_set_property(re, "Multiline", Variant(1)));  // a number coerces to a flag
  EXPECT_EQ(com_get_property<double>(re, "IgnoreCase"), -1);
  EXPECT_EQ(com_get_property<std::string>(re, "Multiline"), "-1");
  const std::string chinese = platform::codepage::utf8_to_cp936("中(文)");
  EXPECT_TRUE(com_set_property(re, "Pattern", text(chinese)));
  EXPECT_EQ(com_get_property<std::string>(re, "Pattern"), chinese);
}

// Compiled patterns are kept between objects by pattern and options: more patterns than are
// kept, in turn, each under both settings of the two options that change the compiled form.
TEST_F(Automation, RegExpObjectsKeepTheirOwnPatternAndOptions) {
  for (int round = 0; round < 2; ++round) {
    for (int n = 0; n < 12; ++n) {
      const std::string pattern = "^b" + std::to_string(n);
      const std::string subject = "a\nB" + std::to_string(n);
      for (const bool ignore_case : {false, true}) {
        for (const bool multiline : {false, true}) {
          ComObject re = make("VBScript.RegExp");
          com_set_property(re, "IgnoreCase", Variant(ignore_case));
          com_set_property(re, "Multiline", Variant(multiline));
          com_set_property(re, "Pattern", text(pattern));
          EXPECT_EQ(com_call<std::string>(re, "Test", {text(subject)}),
                    ignore_case && multiline ? "-1" : "0")
              << pattern << " " << ignore_case << multiline;
        }
      }
    }
  }
  // A pattern changed on the object is compiled anew.
  ComObject re = make("VBScript.RegExp");
  com_set_property(re, "Pattern", text("x"));
  EXPECT_EQ(com_call<std::string>(re, "Test", {text("y")}), "0");
  com_set_property(re, "Pattern", text("y"));
  EXPECT_EQ(com_call<std::string>(re, "Test", {text("y")}), "-1");
}

TEST_F(Automation, MatchObjects) {
  const std::string subject = platform::codepage::utf8_to_cp936("中文 ab1 cd");
  ComObject matches = execute("([a-z]+)(\\d)?", subject);
  ASSERT_FALSE(matches.empty());
  EXPECT_EQ(com_get_property<double>(matches, "Count"), 2);

  ComObject second = com_get_property<ComObject>(matches, "Item", {Variant(1.0)});
  EXPECT_EQ(com_get_property<std::string>(second, "Value"), "cd");
  EXPECT_EQ(com_get_property<double>(second, "FirstIndex"), 7) << "characters, not bytes";
  EXPECT_EQ(com_get_property<double>(second, "Length"), 2);
  ComObject groups = com_get_property<ComObject>(second, "SubMatches");
  EXPECT_EQ(com_get_property<double>(groups, "Count"), 2);
  EXPECT_EQ(com_get_property<std::string>(groups, "Item", {Variant(0)}), "cd");
  EXPECT_TRUE(com_get_property<Variant>(groups, "Item", {Variant(1)}).is_empty())
      << "a group that took no part is the empty value";
  // A fractional index rounds half to even, as the platform coerces numbers.
  ComObject first = com_get_property<ComObject>(matches, "Item", {Variant(0.5)});
  EXPECT_EQ(com_get_property<std::string>(first, "Value"), "ab1");
}

TEST_F(Automation, ReferenceCounting) {
  ComObject a = make("VBScript.RegExp");
  EXPECT_EQ(a.reference_count(), 1);
  ComObject b;
  com_copy(b, a);
  EXPECT_EQ(a.dispatch(), b.dispatch());
  EXPECT_EQ(a.reference_count(), 2);

  // A copy onto a handle holding another object releases that object.
  ComObject c = make("Adodb.Stream");
  ComObject c_watch = c;
  EXPECT_EQ(c_watch.reference_count(), 2);
  com_copy(c, a);
  EXPECT_EQ(c_watch.reference_count(), 1);
  EXPECT_EQ(a.reference_count(), 3);
  com_copy(c, c);  // onto itself: no change
  EXPECT_EQ(a.reference_count(), 3);

  com_clear(a);
  EXPECT_TRUE(com_is_empty(a));
  EXPECT_EQ(b.reference_count(), 2);
  com_clear(c);
  EXPECT_EQ(b.reference_count(), 1);
  EXPECT_EQ(a.reference_count(), 0);

  // A value holding the object is a reference too.
  Variant held(b);
  EXPECT_EQ(b.reference_count(), 2);
  variant_clear(held);
  EXPECT_EQ(b.reference_count(), 1);
}

TEST_F(Automation, MatchCollectionOutlivesItsRegExp) {
  ComObject re = make("VBScript.RegExp");
  com_set_property(re, "Pattern", text("b+"));
  ComObject matches = com_call<ComObject>(re, "Execute", {text("abbc")});
  ComObject match = com_get_property<ComObject>(matches, "Item", {Variant(0)});
  com_clear(re);
  com_clear(matches);
  EXPECT_EQ(com_get_property<std::string>(match, "Value"), "bb");
  EXPECT_EQ(com_get_property<double>(match, "FirstIndex"), 1);
}

TEST(VariantText, Rules) {
  ApartmentScope apartment;
  ComObject object;
  ASSERT_TRUE(com_create(object, "VBScript.RegExp"));
  struct Row {
    const char* name;
    Variant value;
    std::string want;
  } rows[] = {
      {"empty", Variant(), ""},
      {"true", Variant(true), "-1"},
      {"false", Variant(false), "0"},
      {"integer", Variant(-42), "-42"},
      {"whole double", Variant(3.0), "3"},
      {"fraction", Variant(1.5), "1.5"},
      {"one tenth", Variant(0.1), "0.1"},
      {"negative zero", Variant(-0.0), "0"},
      {"large", Variant(1e20), "1E+20"},
      {"fifteen digits", Variant(123456789012345.0), "123456789012345"},
      {"Chinese string", text(platform::codepage::utf8_to_cp936("中文")),
       platform::codepage::utf8_to_cp936("中文")},
      {"character CP936 lacks", Variant(std::u16string(u"a\U0001F600b")), "a?b"},
      {"byte array", bytes("ab"), ""},
      {"object", Variant(object), ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(variant_text(r.value), r.want);
  }
}

TEST(VariantText, CopyAndClear) {
  Variant source = text("abc");
  Variant target(true);
  variant_copy(target, source);
  variant_clear(source);
  EXPECT_EQ(variant_text(target), "abc");
  EXPECT_TRUE(source.is_empty());

  Variant zero_inside = bytes(std::string_view("a\0b", 3));
  ASSERT_NE(zero_inside.bytes(), nullptr);
  EXPECT_EQ(*zero_inside.bytes(), std::string("a\0b", 3));
}

TEST_F(Automation, StreamDecodesTheWholeBody) {
  const std::string body = std::string("\xEF\xBB\xBF", 3) + "a\xE4\xB8\xAD" + std::string(1, '\0') +
                           "\xE6\x96\x87";  // BOM, "a中", a zero byte, "文"
  ComObject stream = stream_with(body, "UTF-8");
  EXPECT_EQ(com_call<std::string>(stream, "ReadText"),
            "a" + platform::codepage::utf8_to_cp936("中") + std::string(1, '\0') +
                platform::codepage::utf8_to_cp936("文"));
  EXPECT_EQ(com_get_property<std::string>(stream, "EOS"), "-1");

  // Read as a value, the text is UTF-16.
  stream = stream_with("a\xE4\xB8\xAD", "utf8");
  EXPECT_EQ(*com_call<Variant>(stream, "ReadText", {Variant(-1)}).string(), u"a中");
}

TEST_F(Automation, StreamCharsets) {
  struct Row {
    const char* name;
    std::string body;
    std::string charset;
    std::string want;  // CP936; empty when ReadText fails
  } rows[] = {
      {"latin1 0x93", "\x93q\x94", "latin1", "\xA1\xB0q\xA1\xB1"},
      {"label trimmed, case ignored", "\x93", " Windows-1252\t", "\xA1\xB0"},
      {"GB2312", "\xD6\xD0", "GB2312", "\xD6\xD0"},
      {"gb18030 four-byte form", "\x81\x30\x81\x30", "gb18030", "?"},
      {"UTF-16 with its BOM", std::string("\xFF\xFE" "a\0", 4), "utf-16", "a"},
      {"UTF-16BE", std::string("\0a\x4E\x2D", 4), "utf-16be", "a\xD6\xD0"},
      {"big5", "\xA4\xA4", "big5", "\xD6\xD0"},
      {"invalid UTF-8 byte", "a\xFF" "b", "utf-8", "a?b"},
      {"emoji", "\xF0\x9F\x98\x80", "utf-8", "?"},
      {"unknown label", "abc", "x-klingon", ""},
      {"replacement encoding", "abc", "iso-2022-kr", ""},
      {"x-user-defined", "abc", "x-user-defined", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ComObject stream = stream_with(r.body, r.charset);
    EXPECT_EQ(com_call<std::string>(stream, "ReadText"), r.want);
  }
}

TEST_F(Automation, StreamWritesAndPositions) {
  ComObject stream = make("Adodb.Stream");
  EXPECT_EQ(com_get_property<double>(stream, "Type"), 2);
  com_set_property(stream, "Type", Variant(1));
  EXPECT_TRUE(com_set_property(stream, "Mode", Variant(3)));
  com_call<void>(stream, "Open");
  EXPECT_FALSE(com_set_property(stream, "Mode", Variant(1))) << "Mode is fixed while open";

  const Variant first = bytes("abcd");
  com_call<void>(stream, "Write", {first});
  com_call<void>(stream, "Write", {bytes("ef")});
  EXPECT_EQ(com_get_property<double>(stream, "Size"), 6);
  EXPECT_TRUE(com_set_property(stream, "Position", Variant(1)));
  com_call<void>(stream, "Write", {bytes("XY")});  // overwrites in place
  EXPECT_EQ(com_get_property<double>(stream, "Position"), 3);
  ASSERT_TRUE(com_set_property(stream, "Position", Variant(0)));
  com_call<void>(stream, "Write", {bytes("Q")});
  EXPECT_EQ(*first.bytes(), "abcd") << "a written byte array is not changed by later writes";

  EXPECT_FALSE(com_set_property(stream, "Position", Variant(7))) << "past the end";
  EXPECT_FALSE(com_set_property(stream, "Type", Variant(2))) << "only at position 0";
  EXPECT_FALSE(com_set_property(stream, "Charset", text("utf-8"))) << "only at position 0";
  EXPECT_TRUE(com_call<std::string>(stream, "ReadText").empty()) << "binary stream";
  ASSERT_TRUE(com_set_property(stream, "Position", Variant(0)));
  ASSERT_TRUE(com_set_property(stream, "Type", Variant(2)));
  ASSERT_TRUE(com_set_property(stream, "Charset", text("ascii")));
  EXPECT_TRUE(com_call<Variant>(stream, "Write", {bytes("z")}).is_empty()) << "text stream";
  EXPECT_EQ(com_call<std::string>(stream, "ReadText"), "QXYdef");
  EXPECT_EQ(com_call<std::string>(stream, "ReadText"), "") << "nothing left";

  com_call<void>(stream, "Close");
  EXPECT_EQ(com_get_property<double>(stream, "State"), 0);
  EXPECT_TRUE(com_get_property<Variant>(stream, "Size").is_empty()) << "closed";
}

TEST(CharsetLabels, Resolution) {
  struct Row {
    const char* label;
    const char* want;  // iconv name, or null
  } rows[] = {
      {"gb2312", "CP936"},         {"x-gbk", "CP936"},          {"gbk", "CP936"},
      {"chinese", "CP936"},        {"GB2312", "CP936"},         {"gb18030", "GB18030"},
      {"iso-8859-1", "CP1252"},    {"latin1", "CP1252"},        {"ascii", "CP1252"},
      {"us-ascii", "CP1252"},      {"windows-1252", "CP1252"},  {"utf8", "UTF-8"},
      {"UTF-8", "UTF-8"},          {"unicode-1-1-utf-8", "UTF-8"}, {"utf-16", "UTF-16LE"},
      {"utf-16le", "UTF-16LE"},    {"unicode", "UTF-16LE"},     {"utf-16be", "UTF-16BE"},
      {"big5", "BIG5-HKSCS"},      {"euc-jp", "EUC-JP"},        {"shift_jis", "CP932"},
      {"euc-kr", "CP949"},         {"koi8-r", "KOI8-R"},        {"iso-8859-2", "ISO-8859-2"},
      {"iso-8859-9", "CP1254"},    {"windows-1251", "CP1251"},  {"macintosh", "MACINTOSH"},
      {"  utf-8\r\n", "UTF-8"},    {"\futf-8 ", "UTF-8"},
      // Not labels: white space only at the ends and only ASCII white space; no partial match.
      {"utf 8", nullptr},          {"\vutf-8", nullptr},        {"utf-8x", nullptr},
      {"utf", nullptr},            {"", nullptr},               {"utf-7", nullptr},
      {"replacement", nullptr},    {"iso-2022-kr", nullptr},    {"hz-gb-2312", nullptr},
      {"x-user-defined", nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.label);
    const char* got = iconv_name_for_label(r.label);
    EXPECT_EQ(got ? std::string(got) : "<none>", r.want ? std::string(r.want) : "<none>");
  }
}

// Every label of the table is found, and every encoding it names opens in iconv.
TEST(CharsetLabels, WholeTable) {
  for (const CharsetLabel& row : charset_labels()) {
    SCOPED_TRACE(std::string(row.label));
    EXPECT_EQ(iconv_name_for_label(row.label), row.iconv_name);
    if (row.iconv_name) {
      EXPECT_TRUE(platform::codepage::convert("a", row.iconv_name, "CP936").has_value());
    }
  }
  EXPECT_EQ(charset_labels().size(), 228u) << "the standard's label count";
}

}  // namespace
