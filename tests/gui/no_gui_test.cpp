// The client's code where no GUI exists: a plain unit test of the request layer, or the program
// before its platform is up. No QApplication is made in this test program.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/session.h"
#include "app/startup.h"
#include "platform/events/events.h"
#include "platform/gui/gui.h"

namespace {

TEST(NoGuiTest, GuiOperationsDoNothing) {
  platform::process_events();
  platform::gui::message_box("returns at once");
  platform::gui::Window window =
      platform::gui::create_window({.name = "w", .width = 100, .height = 100, .title = "t"});
  EXPECT_FALSE(window.alive());
  EXPECT_FALSE(window.on_click("b", [] {}));
  EXPECT_EQ(window.title(), "");
}

// Registered before start-up, so it runs after the client's own exit routine.
void exit_with_session_state() {
  const app::SessionState& s = app::session();
  const bool released = s.base_url.absent() && s.account_id.absent() && s.order_id.absent() &&
                        s.session_token.absent();
  std::_Exit(released ? 0 : 1);
}

TEST(NoGuiTest, SessionIsReleasedAtProgramEnd) {
  EXPECT_EXIT(
      {
        std::atexit(exit_with_session_state);
        app::start({.host = "127.0.0.1"});
        if (app::session().base_url != Text("http://127.0.0.1:8012")) std::_Exit(2);
        app::session().account_id = "alice";
        app::session().order_id = "42";
        app::session().session_token = "abc";
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
