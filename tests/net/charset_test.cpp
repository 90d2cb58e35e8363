#include "net/charset.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/automation/automation.h"
#include "platform/codepage/codepage.h"
#include "platform/events/events.h"

namespace {

using platform::codepage::utf8_to_cp936;

const std::string kChineseUtf8 = "中文页面，欢迎";

std::string head(const std::string& charset) {
  return "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset +
         "\"></head><body>";
}

class ConvertDeclaredCharset : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::set_event_pump([this] { ++pumps_; });
  }
  void TearDown() override { platform::set_event_pump(previous_); }

  // The conversion of `body` given as the request layer gives it: text up to the first zero
  // byte, and all the bytes. Checks that the apartment is left as it was found.
  Text convert(const std::string& body) {
    const int apartment = platform::automation::co_initialize_count();
    Text got = convert_declared_charset(Text(body), ByteSet(body));
    EXPECT_EQ(platform::automation::co_initialize_count(), apartment);
    return got;
  }

  int pumps_ = 0;
  std::function<void()> previous_;
};

TEST_F(ConvertDeclaredCharset, Pages) {
  const std::string gbk_page = utf8_to_cp936(head("gbk") + kChineseUtf8);
  const std::string utf8_page = head("utf-8") + kChineseUtf8;
  const std::string padding(1100, ' ');
  // A declaration that ends exactly at the last searched byte.
  const std::string at_limit = std::string(1024 - 20, ' ') + "<meta charset=utf-8>";
  ASSERT_EQ(at_limit.size(), 1024u);

  struct Row {
    const char* name;
    std::string body;
    std::string want;
  } rows[] = {
      {"UTF-8 page", utf8_page, utf8_to_cp936(utf8_page)},
      {"label letter case ignored", head("UTF-8") + kChineseUtf8,
       utf8_to_cp936(head("UTF-8") + kChineseUtf8)},
      {"unquoted meta charset", "<meta charset=utf8>" + kChineseUtf8,
       utf8_to_cp936("<meta charset=utf8>" + kChineseUtf8)},
      {"UTF-8 byte order mark dropped", "\xEF\xBB\xBF" + utf8_page, utf8_to_cp936(utf8_page)},
      {"gb2312 page kept", utf8_to_cp936(head("gb2312") + kChineseUtf8),
       utf8_to_cp936(head("gb2312") + kChineseUtf8)},
      {"gbk page kept", gbk_page, gbk_page},
      // "GB2312" goes through the stream: valid text comes back the same, the stray byte 0xFF
      // does not (gb2312 above would have kept it).
      {"GB2312 decoded", utf8_to_cp936(head("GB2312") + kChineseUtf8) + "\xFF",
       utf8_to_cp936(head("GB2312") + kChineseUtf8) + "?"},
      {"gb2312 skipped keeps even a stray byte", utf8_to_cp936(head("gb2312")) + "\xFF",
       utf8_to_cp936(head("gb2312")) + "\xFF"},
      {"no meta tag", "<html><body>" + kChineseUtf8, "<html><body>" + kChineseUtf8},
      {"meta tag after the first 1024 bytes", padding + utf8_page, padding + utf8_page},
      {"meta tag ending at byte 1024", at_limit + kChineseUtf8,
       at_limit + utf8_to_cp936(kChineseUtf8)},
      {"latin1 0x93", head("latin1") + "\x93quoted\x94", head("latin1") + "\xA1\xB0quoted\xA1\xB1"},
      {"unknown label kept", head("x-unknown") + kChineseUtf8, head("x-unknown") + kChineseUtf8},
      {"replacement label kept", head("iso-2022-kr") + kChineseUtf8,
       head("iso-2022-kr") + kChineseUtf8},
      {"invalid UTF-8 and an emoji", head("utf-8") + "a\xFF" "b\xF0\x9F\x98\x80" "c",
       head("utf-8") + "a?b?c"},
      {"empty body", "", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    pumps_ = 0;
    EXPECT_EQ(convert(r.body), Text(r.want));
    EXPECT_EQ(pumps_, 1) << "one dispatch after the search";
  }
}

// The stream receives the bytes, not the text: a zero byte does not stop the conversion (the
// result, a Text, ends at the zero as every Text does), and the text before it is decoded.
TEST_F(ConvertDeclaredCharset, BodyWithAZeroByte) {
  const std::string before = head("utf-8") + kChineseUtf8;
  const std::string body = before + std::string(1, '\0') + kChineseUtf8;
  EXPECT_EQ(convert_declared_charset(Text(body), ByteSet(body)), Text(utf8_to_cp936(before)));

  // A zero byte before the declaration hides it: the text is searched, and kept.
  const std::string hidden = std::string(1, '\0') + before;
  EXPECT_EQ(convert_declared_charset(Text(hidden), ByteSet(hidden)), Text());
}

}  // namespace
