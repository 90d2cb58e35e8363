// MainWindow and AccountWindow: their start state, how AccountWindow opens, and how long the
// program lives.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/session.h"
#include "app/startup.h"
#include "app/windows.h"
#include "base/literal.h"
#include "tests/gui/gui_test_support.h"

namespace {

using gui_test::control;
using gui_test::open_window;
using gui_test::open_windows;

enum Kind { push, radio, group, label, edit, picture };

struct ControlRow {
  const char* name;
  Kind kind;
  const char* parent;  // form name of the parent control, or "" for the window
  QRect geometry;
  const char* caption;
  bool checked;
  bool visible;
};

QString caption_of(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

// Checks the window and every control in it against the description.
void expect_window(QWidget* window, QSize outer, const char* title,
                   const std::vector<ControlRow>& rows) {
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), QString::fromUtf8(title));
  EXPECT_EQ(window->size(), QSize(outer.width() - 6, outer.height() - 29)) << "client area";
  EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "fixed frame";
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(window->parentWidget(), nullptr) << "no owner window";
  const QRect outer_rect(window->pos(), outer);
  const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE((outer_rect.center() - centre).manhattanLength(), 2) << "centred on the screen";

  for (const ControlRow& row : rows) {
    SCOPED_TRACE(row.name);
    QWidget* w = control(window, row.name);
    ASSERT_NE(w, nullptr);
    static const char* const qt_class[] = {"QPushButton", "QRadioButton", "QGroupBox",
                                           "QLabel",      "QLineEdit",    "QLabel"};
    EXPECT_STREQ(w->metaObject()->className(), qt_class[row.kind]);
    EXPECT_EQ(w->parentWidget()->objectName(),
              *row.parent ? QString::fromUtf8(row.parent) : window->objectName());
    EXPECT_EQ(w->geometry(), row.geometry);
    EXPECT_EQ(caption_of(w), QString::fromUtf8(row.caption));
    if (auto* radio = qobject_cast<QRadioButton*>(w)) {
      EXPECT_EQ(radio->isChecked(), row.checked);
    }
    EXPECT_EQ(!w->isHidden(), row.visible);
    EXPECT_TRUE(w->isEnabled());
    if (auto* l = qobject_cast<QLabel*>(w); l && row.kind == label) {
      EXPECT_EQ(l->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
      EXPECT_EQ(l->textFormat(), Qt::PlainText);
    }
    // The caption fits its box in a font that has the Chinese characters.
    const QFontMetrics metrics(w->font());
    const QString caption = caption_of(w);
    for (QChar c : caption)
      EXPECT_TRUE(metrics.inFont(c)) << "no glyph for U+" << std::hex << int(c.unicode());
    EXPECT_LE(metrics.horizontalAdvance(caption) + (qobject_cast<QRadioButton*>(w) ? 20 : 0),
              row.geometry.width());
  }

  int named = 0;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"))) ++named;
  }
  EXPECT_EQ(named, static_cast<int>(rows.size())) << "no control beyond the description";
}

const std::vector<ControlRow> kMainWindowRows = {
    {"按钮_登陆", push, "", QRect(16, 24, 80, 32), "登陆", false, true},
    {"按钮_注册", push, "", QRect(16, 64, 80, 32), "注册", false, true},
    {"按钮_充值", push, "", QRect(16, 104, 80, 32), "在线充值", false, true},
    {"单选框_日版", radio, "", QRect(112, 67, 72, 24), "日版", true, true},
    {"单选框_月版", radio, "", QRect(200, 67, 72, 24), "月版", false, true},
    {"单选框_年版", radio, "", QRect(288, 67, 72, 24), "年版", false, true},
    {"单选框_无限版", radio, "", QRect(376, 67, 104, 24), "无限版", false, true},
    {"分组框1", group, "", QRect(109, 96, 320, 40), "", false, true},
    {"单选框_支付宝", radio, "分组框1", QRect(8, 16, 72, 16), "支付宝", true, true},
    {"单选框_微信", radio, "分组框1", QRect(116, 16, 72, 16), "微信", false, true},
    {"单选框_QQ钱包", radio, "分组框1", QRect(224, 16, 72, 16), "QQ钱包", false, true},
    {"图片框1", picture, "", QRect(16, 160, 176, 160), "", false, true},
    {"标签_扫一扫", label, "", QRect(208, 168, 288, 32), "手机扫一扫", false, false},
    {"标签_指定金额", label, "", QRect(208, 210, 288, 32), "", false, true},
    {"标签_PAYID", label, "", QRect(208, 252, 296, 32), "", false, true},
    {"标签2", label, "", QRect(400, 296, 128, 24), "客服QQ:800012345", false, true},
};

const std::vector<ControlRow> kAccountWindowRows = {
    {"标签1", label, "", QRect(40, 48, 48, 24), "账号", false, true},
    {"编辑框1", edit, "", QRect(104, 48, 168, 24), "", false, true},
    {"标签2", label, "", QRect(40, 80, 48, 24), "密码", false, true},
    {"编辑框2", edit, "", QRect(104, 80, 168, 24), "", false, true},
    {"按钮2", push, "", QRect(56, 128, 96, 32), "注册", false, true},
    {"按钮1", push, "", QRect(200, 128, 96, 32), "登陆", false, true},
};

const app::ServerAddress kLoopback{
    .host = "127.0.0.1", .account_port = 18012, .payment_port = 10999};

class WindowsTest : public gui_test::GuiTest {
 protected:
  QWidget* start() {
    app::start(kLoopback);
    return open_window("MainWindow");
  }
  QWidget* click_and_find_account(QWidget* main, const char* button) {
    QTest::mouseClick(control(main, button), Qt::LeftButton);
    return open_window("AccountWindow");
  }
};

TEST_F(WindowsTest, MainWindowStartsAsDescribed) {
  QWidget* main = start();
  expect_window(main, QSize(537, 354), "Zentravo-----请登陆后使用", kMainWindowRows);
  auto* picture = control<QLabel>(main, "图片框1");
  ASSERT_NE(picture, nullptr);
  EXPECT_TRUE(picture->pixmap().isNull());
  EXPECT_TRUE(open_windows("AccountWindow").empty());
}

TEST_F(WindowsTest, CreationSetsBaseUrlBeforeAnyInput) {
  start();  // no event has been dispatched since the window was made
  EXPECT_EQ(app::session().base_url, Text("http://127.0.0.1:18012"));
  EXPECT_EQ(app::payment_endpoint(), Text("http://127.0.0.1:10999/pay.jsp"));
  EXPECT_TRUE(app::session().account_id.empty());
  EXPECT_TRUE(app::session().order_id.empty());
  EXPECT_TRUE(app::session().session_token.empty());

  const app::ServerAddress defaults;
  EXPECT_FALSE(defaults.host.empty());
  EXPECT_EQ(defaults.account_port, 8012);
  EXPECT_EQ(defaults.payment_port, 999);
}

TEST_F(WindowsTest, AccountWindowOpensAsDescribed) {
  QWidget* account = click_and_find_account(start(), "按钮_登陆");
  expect_window(account, QSize(349, 224), "", kAccountWindowRows);
  auto* password = control<QLineEdit>(account, "编辑框2");
  ASSERT_NE(password, nullptr);
  EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
  EXPECT_GE(password->maxLength(), 1 << 30) << "no length limit";
}

TEST_F(WindowsTest, OpeningButtonsLeaveExactlyOneActiveAccountWindow) {
  const struct {
    const char* first;
    const char* second;
  } rows[] = {{"按钮_登陆", "按钮_注册"}, {"按钮_注册", "按钮_登陆"}, {"按钮_登陆", "按钮_登陆"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.first) + " then " + row.second);
    QWidget* main = start();
    QWidget* account = click_and_find_account(main, row.first);
    ASSERT_NE(account, nullptr);
    QTRY_COMPARE(QApplication::activeWindow(), account);
    QTest::keyClicks(control(account, "编辑框1"), "alice");

    main->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), main);
    QTest::mouseClick(control(main, row.second), Qt::LeftButton);
    EXPECT_EQ(open_windows("AccountWindow").size(), 1u);
    EXPECT_EQ(open_window("AccountWindow"), account) << "the open one, not a second one";
    QTRY_COMPARE(QApplication::activeWindow(), account);
    EXPECT_EQ(control<QLineEdit>(account, "编辑框1")->text(), QLatin1String("alice"));
    gui_test::close_all_windows();
  }
}

TEST_F(WindowsTest, MinimisedAccountWindowIsRestoredByEitherButton) {
  for (const char* button : {"按钮_登陆", "按钮_注册"}) {
    SCOPED_TRACE(button);
    QWidget* main = start();
    QWidget* account = click_and_find_account(main, "按钮_登陆");
    ASSERT_NE(account, nullptr);
    account->showMinimized();
    QTRY_VERIFY(account->isMinimized());

    QTest::mouseClick(control(main, button), Qt::LeftButton);
    QTRY_VERIFY(!account->isMinimized());
    EXPECT_EQ(open_window("AccountWindow"), account);
    QTRY_COMPARE(QApplication::activeWindow(), account);
    gui_test::close_all_windows();
  }
}

TEST_F(WindowsTest, ReopenedAccountWindowHasEmptyEditBoxes) {
  QWidget* main = start();
  QWidget* account = click_and_find_account(main, "按钮_登陆");
  ASSERT_NE(account, nullptr);
  QTest::keyClicks(control(account, "编辑框1"), "alice");
  QTest::keyClicks(control(account, "编辑框2"), "secret");
  account->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  account = click_and_find_account(main, "按钮_注册");
  ASSERT_NE(account, nullptr);
  EXPECT_TRUE(control<QLineEdit>(account, "编辑框1")->text().isEmpty());
  EXPECT_TRUE(control<QLineEdit>(account, "编辑框2")->text().isEmpty());
}

// Runs the program's loop while `steps` run one after another from it; false when the loop
// did not end by itself within ten seconds.
bool run_loop_with(std::vector<std::function<void()>> steps) {
  bool timed_out = false;
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    timed_out = true;
    QCoreApplication::exit(0);
  });
  guard.start(10000);
  int delay = 0;
  for (auto& step : steps) QTimer::singleShot(delay += 50, &guard, step);
  gui_test::environment->application().run();
  return !timed_out;
}

TEST_F(WindowsTest, ProgramRunsUntilItsLastWindowIsClosed) {
  QWidget* main = start();
  QPointer<QWidget> account = click_and_find_account(main, "按钮_注册");
  ASSERT_NE(account, nullptr);
  bool ran_on = false;
  EXPECT_TRUE(run_loop_with({
      [&] { main->windowHandle()->close(); },
      [&] {
        // Still running, with AccountWindow still open.
        ran_on = true;
        EXPECT_TRUE(account && account->isVisible());
        if (account) account->windowHandle()->close();
      },
  }));
  EXPECT_TRUE(ran_on);
  EXPECT_TRUE(open_windows("AccountWindow").empty());
}

TEST_F(WindowsTest, ClosingTheOnlyWindowEndsTheProgram) {
  QWidget* main = start();
  EXPECT_TRUE(run_loop_with({[&] { main->windowHandle()->close(); }}));
}

}  // namespace
