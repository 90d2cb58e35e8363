// The GUI layer itself: radio groups, texts in CP936, guarded window handles, the message box
// and the event pump.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <string>

#include "base/literal.h"
#include "platform/events/events.h"
#include "platform/gui/gui.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/message_box_catcher.h"

namespace {

using gui_test::control;
using gui_test::MessageBoxCatcher;
using platform::gui::ControlKind;
using platform::gui::Window;

platform::gui::WindowSpec test_window_spec() {
  // clang-format off
  return {
      .name = "TestWindow",
      .width = 320,
      .height = 240,
      .title = "test",
      .controls = {
          {.name = "a1", .kind = ControlKind::radio_button, .left = 10, .top = 10, .width = 60,
           .height = 20, .caption = "A1", .checked = true},
          {.name = "a2", .kind = ControlKind::radio_button, .left = 80, .top = 10, .width = 60,
           .height = 20, .caption = "A2"},
          {.name = "box", .kind = ControlKind::group_box, .left = 10, .top = 40, .width = 200,
           .height = 40},
          {.name = "b1", .kind = ControlKind::radio_button, .parent = "box", .left = 8, .top = 16,
           .width = 60, .height = 16, .caption = "B1", .checked = true},
          {.name = "b2", .kind = ControlKind::radio_button, .parent = "box", .left = 80, .top = 16,
           .width = 60, .height = 16, .caption = "B2"},
          {.name = "go", .kind = ControlKind::push_button, .left = 10, .top = 90, .width = 80,
           .height = 30, .caption = "Go"},
          {.name = "label", .kind = ControlKind::label, .left = 10, .top = 130, .width = 200,
           .height = 24},
          {.name = "edit", .kind = ControlKind::edit_box, .left = 10, .top = 160, .width = 200,
           .height = 24},
      }};
  // clang-format on
}

class PlatformGuiTest : public gui_test::GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    handle = platform::gui::create_window(test_window_spec());
    handle.show();
    widget = gui_test::open_window("TestWindow");
    ASSERT_NE(widget, nullptr);
  }

  Window handle;
  QPointer<QWidget> widget;
};

TEST_F(PlatformGuiTest, RadioButtonsSwitchWithinTheirParentBeforeTheHandlerRuns) {
  std::string seen;  // the checked radios, as the handler found them
  for (const char* radio : {"a1", "a2", "b1", "b2"}) {
    ASSERT_TRUE(handle.on_click(radio, [&] {
      seen.clear();
      for (const char* r : {"a1", "a2", "b1", "b2"}) {
        if (handle.checked(r)) seen += r;
      }
    }));
  }
  const struct {
    const char* click;
    const char* checked;
  } rows[] = {
      {"a2", "a2b1"},
      {"b2", "a2b2"},
      {"b2", "a2b2"},  // an already checked button still reports its click
      {"a1", "a1b2"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.click);
    seen = "handler did not run";
    QTest::mouseClick(control(widget, row.click), Qt::LeftButton);
    EXPECT_EQ(seen, row.checked);
  }
  EXPECT_FALSE(handle.checked("go"));
  EXPECT_FALSE(handle.on_click("label", [] {})) << "only buttons are clicked";
  EXPECT_FALSE(handle.on_click("nothing", [] {}));
}

TEST_F(PlatformGuiTest, TextsCrossInCp936) {
  handle.set_caption("label", ZH("订单编号:<b>12</b>").view());
  EXPECT_EQ(control<QLabel>(widget, "label")->text(), QString::fromUtf8("订单编号:<b>12</b>"));
  EXPECT_EQ(Text(handle.text("label")), ZH("订单编号:<b>12</b>"));

  // Chinese comes in through the input method, the rest as keys.
  QInputMethodEvent typed;
  typed.setCommitString(QString::fromUtf8("张三"));
  QCoreApplication::sendEvent(control(widget, "edit"), &typed);
  QTest::keyClicks(control(widget, "edit"), " a&b");
  EXPECT_EQ(Text(handle.text("edit")), ZH("张三 a&b"));

  handle.set_title(ZH("当前账号:张三").view());
  EXPECT_EQ(widget->windowTitle(), QString::fromUtf8("当前账号:张三"));
  EXPECT_EQ(Text(handle.title()), ZH("当前账号:张三"));

  EXPECT_TRUE(handle.visible("label"));
  handle.set_visible("label", false);
  EXPECT_TRUE(control(widget, "label")->isHidden());
  EXPECT_FALSE(handle.visible("label"));
}

void expect_gone(Window& w) {
  EXPECT_FALSE(w.alive());
  EXPECT_FALSE(w.checked("a1"));
  EXPECT_EQ(w.text("edit"), "");
  EXPECT_EQ(w.title(), "");
  EXPECT_FALSE(w.visible("label"));
  EXPECT_FALSE(w.minimised());
  EXPECT_FALSE(w.on_click("go", [] {}));
  w.set_caption("label", "x");
  w.set_title("x");
  w.set_visible("label", true);
  w.show();
  w.bring_to_front();
  w.destroy();
  EXPECT_FALSE(w.alive());
}

TEST_F(PlatformGuiTest, GoneWindowIgnoresEveryOperation) {
  Window never;
  expect_gone(never);

  const struct {
    const char* name;
    std::function<void(QWidget*, Window&)> end;
  } rows[] = {
      {"closed by the user", [](QWidget* w, Window&) { w->windowHandle()->close(); }},
      {"destroyed", [](QWidget*, Window& h) { h.destroy(); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Window copy = handle;
    row.end(widget, handle);
    EXPECT_FALSE(widget && widget->isVisible());
    expect_gone(handle);
    expect_gone(copy);
    platform::process_events();
    EXPECT_TRUE(widget.isNull()) << "deleted once events are dispatched";

    handle = platform::gui::create_window(test_window_spec());
    handle.show();
    widget = gui_test::open_window("TestWindow");
    ASSERT_NE(widget, nullptr);
  }
}

// A handler may wait in a nested loop while its own window goes away; the window must outlive
// the handler (and Qt's delivery of the click under it) and go once the handler has returned.
TEST_F(PlatformGuiTest, WindowGoneDuringItsOwnHandlerIsDeletedAfterIt) {
  const struct {
    const char* name;
    bool user_closes;  // else the handler destroys its window itself
  } rows[] = {{"closed by the user meanwhile", true}, {"destroyed by the handler", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    bool alive_after_wait = true;
    bool deleted_during_handler = true;
    QPointer<QWidget> guard = widget;
    handle.on_click("go", [&, w = handle]() mutable {
      if (row.user_closes) {
        QTimer::singleShot(0, guard, [&] { guard->windowHandle()->close(); });
      } else {
        w.destroy();
      }
      platform::process_events();
      platform::process_events();
      alive_after_wait = w.alive();
      w.set_caption("label", "late");
      deleted_during_handler = guard.isNull();
    });
    QTest::mouseClick(control(widget, "go"), Qt::LeftButton);
    EXPECT_FALSE(alive_after_wait);
    EXPECT_FALSE(deleted_during_handler);
    platform::process_events();
    EXPECT_TRUE(guard.isNull());

    handle = platform::gui::create_window(test_window_spec());
    handle.show();
    widget = gui_test::open_window("TestWindow");
    ASSERT_NE(widget, nullptr);
  }
}

TEST_F(PlatformGuiTest, MessageBoxShowsItsTextAsItIsAndReturnsWhenClosed) {
  const Text texts[] = {Text(""), ZH("登陆成功"), ZH("<b>￥5</b> & <i>x</i>\r\n第二行")};
  for (const Text& text : texts) {
    SCOPED_TRACE(text.bytes());
    MessageBoxCatcher boxes;
    platform::gui::message_box(text.view());
    EXPECT_EQ(boxes.closed(), 1) << "returns once the box is closed";
    const auto box = boxes.next(0);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, ZH("信息："));
    EXPECT_EQ(box->text, text);
    EXPECT_TRUE(box->plain_text);
    EXPECT_TRUE(box->application_modal);
    EXPECT_FALSE(box->has_owner);
    EXPECT_EQ(box->buttons, std::vector<QMessageBox::StandardButton>{QMessageBox::Ok});
  }
}

TEST_F(PlatformGuiTest, ProcessEventsDispatchesPendingEventsAndDeletions) {
  bool dispatched = false;
  QTimer::singleShot(0, widget, [&] { dispatched = true; });
  QPointer<QObject> doomed = new QObject;
  doomed->deleteLater();
  platform::process_events();
  EXPECT_TRUE(dispatched);
  EXPECT_TRUE(doomed.isNull());
}

}  // namespace
