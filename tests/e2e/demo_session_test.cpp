// The client against the real demo server: sign up, log in, and order with a plan and channel.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

#include "app/session.h"
#include "app/startup.h"
#include "base/literal.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/message_box_catcher.h"
#include "tests/support/demo_server_process.h"

namespace {

using gui_test::control;
using gui_test::open_window;

class DemoServerSession : public gui_test::GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_TRUE(server_.started());
    ASSERT_TRUE(server_.read_ports());
    app::start({Text("127.0.0.1"), server_.account_port, server_.payment_port});
  }

  // Opens AccountWindow, types the account and password and clicks `button`; the text of the box
  // that answers.
  Text submit(const char* button, const char* account, const char* password) {
    QTest::mouseClick(control<QAbstractButton>(open_window("MainWindow"), "按钮_登陆"),
                      Qt::LeftButton);
    QWidget* window = open_window("AccountWindow");
    control<QLineEdit>(window, "编辑框1")->setText(QString::fromUtf8(account));
    control<QLineEdit>(window, "编辑框2")->setText(QString::fromUtf8(password));
    gui_test::MessageBoxCatcher boxes;
    QTest::mouseClick(control<QAbstractButton>(window, button), Qt::LeftButton);
    const auto box = boxes.next();
    return box ? box->text : Text("(no message box)");
  }

  test_support::ServerProcess server_{{"--account-port", "0", "--payment-port", "0"}};
};

TEST_F(DemoServerSession, SignUpThenLogInSetsTheTitle) {
  EXPECT_EQ(submit("按钮2", "演示 user&1", "pw"), ZH("注册成功"));
  EXPECT_EQ(submit("按钮1", "演示 user&1", "wrong"), ZH("密码错误"));
  EXPECT_EQ(submit("按钮1", "演示 user&1", "pw"), ZH("登陆成功"));

  EXPECT_EQ(app::session().account_id, ZH("演示 user&1"));
  EXPECT_EQ(app::session().session_token.length(), 32);
  EXPECT_EQ(open_window("MainWindow")->windowTitle(), QString::fromUtf8("当前账号:演示 user&1"));
  EXPECT_EQ(open_window("AccountWindow"), nullptr);
}

TEST_F(DemoServerSession, PlanAndChannelShowPictureAmountAndOrderNumber) {
  ASSERT_EQ(submit("按钮2", "buyer", "pw"), ZH("注册成功"));
  ASSERT_EQ(submit("按钮1", "buyer", "pw"), ZH("登陆成功"));
  QWidget* main = open_window("MainWindow");
  QTest::mouseClick(control<QAbstractButton>(main, "单选框_月版"), Qt::LeftButton);
  QTest::mouseClick(control<QAbstractButton>(main, "单选框_微信"), Qt::LeftButton);

  EXPECT_FALSE(control<QLabel>(main, "图片框1")->pixmap().isNull());
  EXPECT_EQ(control<QLabel>(main, "标签_指定金额")->text(),
            QString::fromUtf8("请输入指定金额:20元"));
  const QString order_line = control<QLabel>(main, "标签_PAYID")->text();
  EXPECT_TRUE(
      QRegularExpression(QString::fromUtf8("^订单编号:\\d{18,}$")).match(order_line).hasMatch())
      << order_line.toStdString();
  EXPECT_EQ(order_line.mid(5), QString::fromLatin1(app::session().order_id.bytes()));
  EXPECT_FALSE(control<QLabel>(main, "标签_扫一扫")->isHidden());

  // A second plan cancels the first order and makes a new one.
  const Text first = app::session().order_id;
  QTest::mouseClick(control<QAbstractButton>(main, "单选框_年版"), Qt::LeftButton);
  EXPECT_EQ(control<QLabel>(main, "标签_指定金额")->text(),
            QString::fromUtf8("请输入指定金额:50元"));
  EXPECT_FALSE(app::session().order_id.empty());
  EXPECT_NE(app::session().order_id, first);
}

}  // namespace
