// Shared fixture of the winhttp_request tests: counts the dispatch points, clears injected
// failures, and checks after every test that no session, connection or request stayed open.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/literal.h"
#include "base/text.h"
#include "net/winhttp_request.h"
#include "platform/events/events.h"
#include "platform/winhttp/winhttp.h"
#include "tests/support/scripted_server.h"

class WinHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_pump_ = platform::set_event_pump([this] { ++dispatches_; });
  }
  void TearDown() override {
    platform::set_event_pump(previous_pump_);
    platform::winhttp::testing::clear_failures();
    EXPECT_EQ(platform::winhttp::testing::open_handles(), 0);
  }

  int dispatches_ = 0;

 private:
  std::function<void()> previous_pump_;
};

// The header block of a call with `url` alone.
inline const std::string kDefaultBlock =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
    "Accept: text/html, application/xhtml+xml, */*\r\n"
    "Accept-Encoding: gbk, GB2312\r\n"
    "Accept-Language: zh-cn\r\n"
    "Cache-Control: no-cache\r\n";

// Dispatches of a complete exchange whose raw headers split into `header_lines` members at
// CR LF (the empty line after the headers is one of them): nine for the stages, one per line,
// one for the charset step.
inline int complete_dispatches(int header_lines) {
  return 9 + header_lines + 1;
}
