// Shared fixture of the wininet_request tests: an empty process-wide cookie store for every
// test, no injected failure left behind, no handle left open, and no event dispatched.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/text.h"
#include "net/wininet_request.h"
#include "platform/events/events.h"
#include "platform/wininet/wininet.h"
#include "tests/support/scripted_server.h"

class WinInetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::wininet::testing::clear_cookie_store();
    previous_pump_ = platform::set_event_pump([this] { ++dispatches_; });
  }
  void TearDown() override {
    platform::set_event_pump(previous_pump_);
    platform::wininet::testing::clear_failures();
    EXPECT_EQ(platform::wininet::testing::open_handles(), 0);
    EXPECT_EQ(dispatches_, 0);
  }

  int dispatches_ = 0;

 private:
  std::function<void()> previous_pump_;
};

inline const std::string kDefaultAgentLine =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n";

// The block of a call with `url` alone, as it goes on the wire (Host aside).
inline std::string default_wire_block(const std::string& url) {
  return "Accept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" + kDefaultAgentLine;
}
