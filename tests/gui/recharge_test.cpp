// Plans, channels and payment orders driven through MainWindow against a scripted server that
// records the order of the requests (one server serves both ports here).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "app/session.h"
#include "app/startup.h"
#include "base/literal.h"
#include "tests/gui/gui_test_support.h"
#include "tests/support/scripted_server.h"

namespace {

using gui_test::control;
using gui_test::open_window;
using test_support::ScriptedServer;
using test_support::send;

// An 8 x 8 red PNG.
const std::string kPng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x08\x00\x00\x00"
    "\x08\x08\x02\x00\x00\x00\x4b\x6d\x29\xdc\x00\x00\x00\x12\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf"
    "\xc0\x80\x15\x61\x17\x1d\xb4\x12\x00\x28\xff\x3f\xc1\x6e\xec\xdf\x61\x00\x00\x00\x00\x49\x45"
    "\x4e\x44\xae\x42\x60\x82",
    75);
// A PNG whose header declares 100000 x 100000 pixels, with a few bytes of image data.
const std::string kHugePng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x01\x86\xa0\x00\x01\x86"
    "\xa0\x08\x02\x00\x00\x00\x27\x30\x9c\x9f\x00\x00\x00\x0b\x49\x44\x41\x54\x78\x9c\x63\x60\x40"
    "\x05\x00\x00\x10\x00\x01\x39\xbd\x8f\x65\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    68);

std::string picture(const std::string& bytes = kPng) {
  return test_support::reply("200 OK", bytes, "Content-Type: image/png\r\n");
}

// An order page as the payment endpoint answers it.
std::string order(const char* amount, const char* id) {
  const Text body = concat_text("<html><body>", ZH("请支付<b>￥"), amount, "</b>{\"pay_id\":\"", id,
                                "\",\"ok\":1}</body></html>");
  return test_support::reply("200 OK", body.bytes(), "Content-Type: text/html; charset=gbk\r\n");
}

std::string plain(const Text& body) {
  return test_support::reply("200 OK", body.bytes());
}

class RechargeTest : public gui_test::GuiTest {
 protected:
  // Starts the client against `server`, logged in as u1 with the token tok unless told otherwise.
  QWidget* start(const ScriptedServer& server, bool logged_in = true) {
    app::start({Text("127.0.0.1"), server.port(), server.port()});
    if (logged_in) {
      app::session().account_id = "u1";
      app::session().session_token = "tok";
    }
    return open_window("MainWindow");
  }

  static void click(QWidget* main, const char* name) {
    QTest::mouseClick(control<QAbstractButton>(main, name), Qt::LeftButton);
  }

  static QString caption(QWidget* main, const char* name) {
    return control<QLabel>(main, name)->text();
  }

  static bool has_picture(QWidget* main) {
    return !control<QLabel>(main, "图片框1")->pixmap().isNull();
  }

  // The request lines recorded so far, without " HTTP/1.1".
  static std::vector<std::string> targets(const ScriptedServer& server) {
    std::vector<std::string> out;
    for (const auto& r : server.requests()) {
      out.push_back(r.request_line.substr(0, r.request_line.rfind(' ')));
    }
    return out;
  }
};

TEST_F(RechargeTest, LoggedOutClicksOnlySwitchTheButtons) {
  ScriptedServer server({});
  QWidget* main = start(server, /*logged_in=*/false);
  for (const char* name : {"单选框_月版", "单选框_微信", "按钮_充值"}) click(main, name);
  QTest::qWait(50);
  EXPECT_TRUE(control<QRadioButton>(main, "单选框_月版")->isChecked());
  EXPECT_TRUE(control<QRadioButton>(main, "单选框_微信")->isChecked());
  EXPECT_EQ(server.connections(), 0);
  EXPECT_TRUE(control<QLabel>(main, "标签_扫一扫")->isHidden());
  EXPECT_FALSE(has_picture(main));
}

TEST_F(RechargeTest, PlansOrderAndCancelThePreviousOrder) {
  ScriptedServer server({{send(picture())},
                         {send(order("20", "A1"))},
                         {send(plain(ZH("订单已取消")))},
                         {send(picture())},
                         {send(order("50", "B2"))}});
  QWidget* main = start(server);

  click(main, "单选框_月版");
  EXPECT_FALSE(control<QLabel>(main, "标签_扫一扫")->isHidden());
  EXPECT_EQ(targets(server), (std::vector<std::string>{"GET /images/alipay.png",
                                                       "GET /pay.jsp?uid=u1&price=20&sign=tok"}));
  EXPECT_EQ(caption(main, "标签_指定金额"), QString::fromUtf8("请输入指定金额:20元"));
  EXPECT_EQ(caption(main, "标签_PAYID"), QString::fromUtf8("订单编号:A1"));
  EXPECT_EQ(app::session().order_id, Text("A1"));
  EXPECT_TRUE(has_picture(main));

  QElapsedTimer clock;
  clock.start();
  click(main, "单选框_年版");
  EXPECT_GE(clock.elapsed(), 100) << "the pause after the previous-order request";
  EXPECT_EQ(targets(server), (std::vector<std::string>{
                                 "GET /images/alipay.png", "GET /pay.jsp?uid=u1&price=20&sign=tok",
                                 "GET /pay.jsp?uid=u1&pay_id=A1", "GET /images/alipay.png",
                                 "GET /pay.jsp?uid=u1&price=50&sign=tok"}));
  EXPECT_EQ(caption(main, "标签_指定金额"), QString::fromUtf8("请输入指定金额:50元"));
  EXPECT_EQ(caption(main, "标签_PAYID"), QString::fromUtf8("订单编号:B2"));
  EXPECT_EQ(app::session().order_id, Text("B2"));
}

TEST_F(RechargeTest, ReplyWithoutMarkersEndsTheChain) {
  ScriptedServer server({{send(plain(ZH("订单已取消")))},
                         {send(picture())},
                         {send(plain(ZH("登录已失效，请重新登录")))},
                         {send(picture())},
                         {send(order("5", "C3"))}});
  QWidget* main = start(server);
  app::session().order_id = "OLD";
  app::session().session_token = Text();  // a later login gave no token

  click(main, "单选框_日版");
  EXPECT_EQ(targets(server),
            (std::vector<std::string>{"GET /pay.jsp?uid=u1&pay_id=OLD", "GET /images/alipay.png",
                                      "GET /pay.jsp?uid=u1&price=5&sign="}));
  EXPECT_EQ(caption(main, "标签_指定金额"), QString::fromUtf8("请输入指定金额:元"));
  EXPECT_EQ(caption(main, "标签_PAYID"), QString::fromUtf8("订单编号:"));
  EXPECT_TRUE(app::session().order_id.empty());

  click(main, "单选框_月版");  // no previous-order request now
  EXPECT_EQ(targets(server).size(), 5u);
  EXPECT_EQ(targets(server)[3], "GET /images/alipay.png");
  EXPECT_EQ(app::session().order_id, Text("C3"));
}

TEST_F(RechargeTest, RechargeButtonFetchesThePictureTwiceThenOrders) {
  ScriptedServer server({{send(picture())}, {send(picture())}, {send(order("100", "D4"))}});
  QWidget* main = start(server, /*logged_in=*/false);
  click(main, "单选框_QQ钱包");  // logged out: switches only
  click(main, "单选框_无限版");
  app::session().account_id = "u 1&x";
  app::session().session_token = "t+k";
  click(main, "按钮_充值");
  EXPECT_EQ(targets(server),
            (std::vector<std::string>{"GET /images/qq.png", "GET /images/qq.png",
                                      "GET /pay.jsp?uid=u%201%26x&price=100&sign=t%2Bk"}));
  EXPECT_EQ(caption(main, "标签_PAYID"), QString::fromUtf8("订单编号:D4"));
}

TEST_F(RechargeTest, PicturesThatCannotBeShownLeaveTheBoxEmpty) {
  struct Row {
    const char* name;
    std::string reply;
  };
  const std::vector<Row> rows = {
      {"truncated PNG", picture(kPng.substr(0, 40))},
      {"random bytes", picture(std::string("\x13\x37\xfe\x00 not a picture at all", 25))},
      {"100000 x 100000 pixels", picture(kHugePng)},
      {"not found", test_support::reply("404 Not Found")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    gui_test::close_all_windows();
    ScriptedServer server({{send(picture())}, {send(row.reply)}});
    QWidget* main = start(server);
    click(main, "单选框_微信");
    EXPECT_TRUE(has_picture(main));
    click(main, "单选框_QQ钱包");
    EXPECT_FALSE(has_picture(main));
    EXPECT_EQ(targets(server),
              (std::vector<std::string>{"GET /images/weixin.png", "GET /images/qq.png"}));
  }
}

TEST_F(RechargeTest, ClickDuringTheWaitRunsNested) {
  ScriptedServer server({{send(plain(ZH("订单已取消")))},
                         {send(picture())},
                         {send(picture())},
                         {send(order("20", "E5"))}});
  QWidget* main = start(server);
  app::session().order_id = "A1";
  // Runs at the first dispatch point of the previous-order request.
  QTimer::singleShot(0, main, [main] { click(main, "单选框_微信"); });
  click(main, "单选框_月版");
  EXPECT_EQ(targets(server),
            (std::vector<std::string>{"GET /pay.jsp?uid=u1&pay_id=A1", "GET /images/weixin.png",
                                      "GET /images/weixin.png",
                                      "GET /pay.jsp?uid=u1&price=20&sign=tok"}));
  EXPECT_EQ(app::session().order_id, Text("E5"));
}

TEST_F(RechargeTest, ClosingMainWindowDuringAnOrderEndsTheActionQuietly) {
  ScriptedServer server({{send(plain(ZH("订单已取消")))}, {send(order("20", "F6"))}});
  QPointer<QWidget> main = start(server);
  app::session().order_id = "A1";
  // Closed while the previous-order request is under way; the pause, the picture refresh (no
  // window: no checked channel) and the captions then find no window.
  QTimer::singleShot(0, [main] {
    if (main) main->close();
  });
  click(main, "单选框_月版");
  EXPECT_TRUE(!main || !main->isVisible());
  EXPECT_EQ(targets(server), (std::vector<std::string>{"GET /pay.jsp?uid=u1&pay_id=A1",
                                                       "GET /pay.jsp?uid=u1&price=20&sign=tok"}));
  EXPECT_EQ(app::session().order_id, Text("F6"));
}

}  // namespace
