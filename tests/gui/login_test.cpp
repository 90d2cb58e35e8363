// Login and sign-up driven through the real windows against a scripted account server.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "app/account.h"
#include "app/session.h"
#include "app/startup.h"
#include "app/windows.h"
#include "base/literal.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/message_box_catcher.h"
#include "tests/support/scripted_server.h"

namespace {

using gui_test::control;
using gui_test::MessageBoxCatcher;
using gui_test::open_window;
using test_support::ScriptedServer;

std::string reply_of(const Text& body) {
  return test_support::reply("200 OK", body.bytes(), "Content-Type: text/html; charset=gbk\r\n");
}

class LoginTest : public gui_test::GuiTest {
 protected:
  // Starts the client against `server`, opens AccountWindow and types the two texts.
  QWidget* open_account(const ScriptedServer& server, const Text& account, const Text& password) {
    app::start({Text("127.0.0.1"), server.port(), server.port()});
    QWidget* main = open_window("MainWindow");
    QTest::mouseClick(control<QAbstractButton>(main, "按钮_登陆"), Qt::LeftButton);
    QWidget* account_window = open_window("AccountWindow");
    control<QLineEdit>(account_window, "编辑框1")->setText(utf16(account));
    control<QLineEdit>(account_window, "编辑框2")->setText(utf16(password));
    return account_window;
  }

  static QString utf16(const Text& cp936) {
    const std::u16string u = platform::codepage::cp936_to_utf16(cp936.view());
    return QString::fromUtf16(u.data(), static_cast<qsizetype>(u.size()));
  }

  static Text title_of(QWidget* w) {
    const QString t = w->windowTitle();
    return Text(platform::codepage::utf16_to_cp936(
        {reinterpret_cast<const char16_t*>(t.utf16()), static_cast<std::size_t>(t.size())}));
  }

  static void click(QWidget* account_window, const char* button) {
    QTest::mouseClick(control<QAbstractButton>(account_window, button), Qt::LeftButton);
  }
};

TEST_F(LoginTest, SuccessfulRepliesStoreTheTokenAfterTheLastMarker) {
  struct Row {
    const char* name;
    Text reply;
    Text token;
  };
  const Text ok = ZH("登陆成功|");
  const std::vector<Row> rows = {
      {"token after the marker", concat_text(ok, "abc"), "abc"},
      {"last marker counts", concat_text(ok, "a", ok, "b"), "b"},
      {"line end kept", concat_text(ok, "abc\r\n"), "abc\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    gui_test::close_all_windows();
    app::session() = {};
    ScriptedServer server({{test_support::send(reply_of(row.reply))}});
    QWidget* account_window = open_account(server, "user1", "pw");
    QPointer<QWidget> guard(account_window);
    MessageBoxCatcher boxes;
    click(account_window, "按钮1");

    const auto box = boxes.next();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, ZH("登陆成功"));
    EXPECT_EQ(app::session().session_token, row.token);
    EXPECT_EQ(app::session().account_id, Text("user1"));
    EXPECT_TRUE(!guard || !guard->isVisible()) << "AccountWindow destroyed";
    EXPECT_EQ(title_of(open_window("MainWindow")), concat_text(ZH("当前账号:"), "user1"));
    ASSERT_TRUE(server.wait_for_requests(1));
    EXPECT_EQ(server.requests()[0].request_line, "GET /lg.jsp?uid=user1&pwd=pw HTTP/1.1");
  }
}

TEST_F(LoginTest, OtherRepliesAreShownAndChangeNothing) {
  struct Row {
    const char* name;
    Text reply;
  };
  const std::vector<Row> rows = {
      {"success without a token", ZH("登陆成功")},
      {"marker at the very end", ZH("登陆成功|")},
      {"server error text", ZH("密码错误")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    gui_test::close_all_windows();
    app::session() = {};
    app::session().session_token = "old";
    ScriptedServer server({{test_support::send(reply_of(row.reply))}});
    QWidget* account_window = open_account(server, "user1", "pw");
    MessageBoxCatcher boxes;
    click(account_window, "按钮1");

    const auto box = boxes.next();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, row.reply);
    EXPECT_TRUE(app::session().account_id.empty());
    // A reply holding "登陆成功" empties the token; any other leaves it.
    const bool success_marker = find_text(row.reply, ZH("登陆成功")) != -1;
    EXPECT_EQ(app::session().session_token, success_marker ? Text() : Text("old"));
    EXPECT_TRUE(account_window->isVisible());
    EXPECT_EQ(title_of(open_window("MainWindow")), ZH("Zentravo-----请登陆后使用"));
  }
}

TEST_F(LoginTest, FailedRequestShowsAnEmptyBox) {
  test_support::RefusingPort refusing;
  app::start({Text("127.0.0.1"), refusing.port(), refusing.port()});
  QTest::mouseClick(control<QAbstractButton>(open_window("MainWindow"), "按钮_登陆"),
                    Qt::LeftButton);
  QWidget* account_window = open_window("AccountWindow");
  MessageBoxCatcher boxes;
  click(account_window, "按钮1");
  const auto box = boxes.next();
  ASSERT_TRUE(box);
  EXPECT_TRUE(box->text.empty());
  EXPECT_TRUE(account_window->isVisible());
  EXPECT_TRUE(app::session().account_id.empty());
}

TEST_F(LoginTest, QueryValuesReachTheServerAsOneValueEach) {
  ScriptedServer server({{test_support::send(reply_of(ZH("密码错误")))}});
  QWidget* account_window = open_account(server, "a&b c", ZH("密码#1+%"));
  MessageBoxCatcher boxes;
  click(account_window, "按钮1");
  ASSERT_TRUE(boxes.next());
  ASSERT_TRUE(server.wait_for_requests(1));
  // 密码 is C3 DC C2 EB in CP936.
  EXPECT_EQ(server.requests()[0].request_line,
            "GET /lg.jsp?uid=a%26b%20c&pwd=%C3%DC%C2%EB%231%2B%25 HTTP/1.1");
}

TEST_F(LoginTest, LoginCompletesWhenAWindowIsClosedDuringTheRequest) {
  for (const char* closed : {"AccountWindow", "MainWindow"}) {
    SCOPED_TRACE(closed);
    gui_test::close_all_windows();
    app::session() = {};
    ScriptedServer server({{test_support::wait_ms(50),
                            test_support::send(reply_of(concat_text(ZH("登陆成功|"), "t")))}});
    QWidget* account_window = open_account(server, "user1", "pw");
    QPointer<QWidget> main = open_window("MainWindow");
    QPointer<QWidget> account = account_window;
    // Runs at the request's first dispatch point, nested inside the click handler.
    QTimer::singleShot(0, [&] {
      QPointer<QWidget> target = std::string_view(closed) == "MainWindow" ? main : account;
      if (target) target->close();
    });
    MessageBoxCatcher boxes;
    click(account_window, "按钮1");
    ASSERT_TRUE(boxes.next());
    EXPECT_EQ(app::session().account_id, Text("user1"));
    EXPECT_EQ(app::session().session_token, Text("t"));
    EXPECT_TRUE(!account || !account->isVisible());
    if (main && main->isVisible()) {
      EXPECT_EQ(title_of(main), concat_text(ZH("当前账号:"), "user1"));
    }
  }
}

TEST_F(LoginTest, SignUpShowsTheReplyAndKeepsTheWindow) {
  ScriptedServer server({{test_support::send(reply_of(ZH("注册成功")))}});
  QWidget* account_window = open_account(server, "new", "pw");
  MessageBoxCatcher boxes;
  click(account_window, "按钮2");
  const auto box = boxes.next();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, ZH("注册成功"));
  EXPECT_TRUE(account_window->isVisible());
  EXPECT_EQ(control<QLineEdit>(account_window, "编辑框1")->text(), QStringLiteral("new"));
  EXPECT_TRUE(app::session().account_id.empty());
  ASSERT_TRUE(server.wait_for_requests(1));
  EXPECT_EQ(server.requests()[0].request_line, "GET /zc.jsp?uid=new&pwd=pw HTTP/1.1");
}

TEST(TextAfterLast, Cases) {
  struct Row {
    const char* name;
    Text text;
    Text marker;
    Text expected;
  };
  const std::vector<Row> rows = {
      {"last of several", "a|b|c", "|", "c"},
      {"no marker", "abc", "|", Text()},
      {"marker ends the text", "abc|", "|", Text()},
      {"trail byte is not a marker", "a\x81|b", "|", Text()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(app::text_after_last(row.text, row.marker), row.expected);
  }
  EXPECT_EQ(app::text_after_last("a|b|c", "|", 4), Text("b|c"));
}

}  // namespace
