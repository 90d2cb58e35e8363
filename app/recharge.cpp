#include "app/recharge.h"

#include "app/pump_wait.h"
#include "app/session.h"
#include "app/startup.h"
#include "app/windows.h"
#include "base/literal.h"
#include "net/url.h"
#include "net/winhttp_request.h"
#include "net/wininet_request.h"

namespace app {
namespace {

bool logged_in() {
  return !session().account_id.empty();
}

// The first entry of `table` whose radio button is checked; null when none is (or MainWindow is
// gone).
const Choice* checked_choice(const std::vector<Choice>& table) {
  for (const Choice& choice : table) {
    if (main_window().checked(choice.radio.view())) return &choice;
  }
  return nullptr;
}

// Every query value is percent-encoded so that it reaches the server as one value, unchanged.
Text previous_order_url() {
  return concat_text(payment_endpoint(), "?uid=", encode_query_value(session().account_id),
                     "&pay_id=", encode_query_value(session().order_id));
}

Text order_url(const Text& price) {
  return concat_text(payment_endpoint(), "?uid=", encode_query_value(session().account_id),
                     "&price=", encode_query_value(price),
                     "&sign=", encode_query_value(session().session_token));
}

}  // namespace

const std::vector<Choice>& plan_table() {
  static const std::vector<Choice> plans = {
      {ZH("单选框_日版"), "5"},
      {ZH("单选框_月版"), "20"},
      {ZH("单选框_年版"), "50"},
      {ZH("单选框_无限版"), "100"},
  };
  return plans;
}

const std::vector<Choice>& channel_table() {
  static const std::vector<Choice> channels = {
      {ZH("单选框_支付宝"), "/images/alipay.png"},
      {ZH("单选框_微信"), "/images/weixin.png"},
      {ZH("单选框_QQ钱包"), "/images/qq.png"},
  };
  return channels;
}

void place_order(const Text& price) {
  if (!logged_in()) return;
  main_window().set_visible(ZH("标签_扫一扫").view(), true);
  if (!session().order_id.empty()) {
    winhttp_request(previous_order_url());  // its reply does not matter
    pump_wait(100);
  }
  if (const Choice* channel = checked_choice(channel_table())) {
    show_channel_picture(channel->value);
  }
  const Text reply = winhttp_request(order_url(price));
  const Text amount = text_between(reply, ZH("<b>￥"), "</b>");
  const Text order_number = text_between(reply, "pay_id\":\"", "\"");
  session().order_id = order_number;
  // MainWindow may have been closed meanwhile: the handle then does nothing.
  main_window().set_caption(ZH("标签_指定金额").view(),
                            concat_text(ZH("请输入指定金额:"), amount, ZH("元")).view());
  main_window().set_caption(ZH("标签_PAYID").view(),
                            concat_text(ZH("订单编号:"), order_number).view());
}

void show_channel_picture(const Text& path) {
  if (!logged_in()) return;
  const ByteSet bytes = wininet_request(concat_text(session().base_url, path));
  main_window().set_picture(ZH("图片框1").view(), bytes.view());
}

void recharge() {
  if (!logged_in()) return;
  if (const Choice* channel = checked_choice(channel_table())) {
    show_channel_picture(channel->value);
  }
  if (const Choice* plan = checked_choice(plan_table())) {
    place_order(plan->value);
  }
}

}  // namespace app
