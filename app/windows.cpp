#include "app/windows.h"

#include "app/account.h"
#include "app/recharge.h"
#include "base/literal.h"

namespace app {

using platform::gui::ControlKind;
using platform::gui::ControlSpec;
using platform::gui::Window;
using platform::gui::WindowSpec;

WindowSpec main_window_spec() {
  const std::string group = ZH("分组框1").bytes();
  // clang-format off
  return WindowSpec{
      .name = "MainWindow",
      .width = 537,
      .height = 354,
      .title = ZH("Zentravo-----请登陆后使用").bytes(),
      .controls = {
          {.name = ZH("按钮_登陆").bytes(), .kind = ControlKind::push_button,
           .left = 16, .top = 24, .width = 80, .height = 32, .caption = ZH("登陆").bytes()},
          {.name = ZH("按钮_注册").bytes(), .kind = ControlKind::push_button,
           .left = 16, .top = 64, .width = 80, .height = 32, .caption = ZH("注册").bytes()},
          {.name = ZH("按钮_充值").bytes(), .kind = ControlKind::push_button,
           .left = 16, .top = 104, .width = 80, .height = 32, .caption = ZH("在线充值").bytes()},
          {.name = ZH("单选框_日版").bytes(), .kind = ControlKind::radio_button,
           .left = 112, .top = 67, .width = 72, .height = 24, .caption = ZH("日版").bytes(),
           .checked = true},
          {.name = ZH("单选框_月版").bytes(), .kind = ControlKind::radio_button,
           .left = 200, .top = 67, .width = 72, .height = 24, .caption = ZH("月版").bytes()},
          {.name = ZH("单选框_年版").bytes(), .kind = ControlKind::radio_button,
           .left = 288, .top = 67, .width = 72, .height = 24, .caption = ZH("年版").bytes()},
          {.name = ZH("单选框_无限版").bytes(), .kind = ControlKind::radio_button,
           .left = 376, .top = 67, .width = 104, .height = 24, .caption = ZH("无限版").bytes()},
          {.name = group, .kind = ControlKind::group_box,
           .left = 109, .top = 96, .width = 320, .height = 40},
          {.name = ZH("单选框_支付宝").bytes(), .kind = ControlKind::radio_button, .parent = group,
           .left = 8, .top = 16, .width = 72, .height = 16, .caption = ZH("支付宝").bytes(),
           .checked = true},
          {.name = ZH("单选框_微信").bytes(), .kind = ControlKind::radio_button, .parent = group,
           .left = 116, .top = 16, .width = 72, .height = 16, .caption = ZH("微信").bytes()},
          {.name = ZH("单选框_QQ钱包").bytes(), .kind = ControlKind::radio_button, .parent = group,
           .left = 224, .top = 16, .width = 72, .height = 16, .caption = ZH("QQ钱包").bytes()},
          {.name = ZH("图片框1").bytes(), .kind = ControlKind::picture_box,
           .left = 16, .top = 160, .width = 176, .height = 160},
          {.name = ZH("标签_扫一扫").bytes(), .kind = ControlKind::label,
           .left = 208, .top = 168, .width = 288, .height = 32, .caption = ZH("手机扫一扫").bytes(),
           .hidden = true},
          {.name = ZH("标签_指定金额").bytes(), .kind = ControlKind::label,
           .left = 208, .top = 210, .width = 288, .height = 32},
          {.name = ZH("标签_PAYID").bytes(), .kind = ControlKind::label,
           .left = 208, .top = 252, .width = 296, .height = 32},
          {.name = ZH("标签2").bytes(), .kind = ControlKind::label,
           .left = 400, .top = 296, .width = 128, .height = 24,
           .caption = ZH("客服QQ:800012345").bytes()},
      }};
  // clang-format on
}

WindowSpec account_window_spec() {
  // clang-format off
  return WindowSpec{
      .name = "AccountWindow",
      .width = 349,
      .height = 224,
      .title = "",
      .controls = {
          {.name = ZH("标签1").bytes(), .kind = ControlKind::label,
           .left = 40, .top = 48, .width = 48, .height = 24, .caption = ZH("账号").bytes()},
          {.name = ZH("编辑框1").bytes(), .kind = ControlKind::edit_box,
           .left = 104, .top = 48, .width = 168, .height = 24},
          {.name = ZH("标签2").bytes(), .kind = ControlKind::label,
           .left = 40, .top = 80, .width = 48, .height = 24, .caption = ZH("密码").bytes()},
          {.name = ZH("编辑框2").bytes(), .kind = ControlKind::edit_box,
           .left = 104, .top = 80, .width = 168, .height = 24},
          {.name = ZH("按钮2").bytes(), .kind = ControlKind::push_button,
           .left = 56, .top = 128, .width = 96, .height = 32, .caption = ZH("注册").bytes()},
          {.name = ZH("按钮1").bytes(), .kind = ControlKind::push_button,
           .left = 200, .top = 128, .width = 96, .height = 32, .caption = ZH("登陆").bytes()},
      }};
  // clang-format on
}

Window& main_window() {
  static Window window;
  return window;
}

Window& account_window() {
  static Window window;
  return window;
}

void open_account_window() {
  Window& account = account_window();
  if (account.alive()) {
    account.bring_to_front();
    return;
  }
  account = platform::gui::create_window(account_window_spec());
  // Both texts are read once, at the click, from the window that was clicked.
  account.on_click(ZH("按钮1").view(), [window = account] {
    login(Text(window.text(ZH("编辑框1").view())), Text(window.text(ZH("编辑框2").view())));
  });
  account.on_click(ZH("按钮2").view(), [window = account] {
    sign_up(Text(window.text(ZH("编辑框1").view())), Text(window.text(ZH("编辑框2").view())));
  });
  account.show();
}

void wire_main_window(Window& window) {
  window.on_click(ZH("按钮_登陆").view(), open_account_window);
  window.on_click(ZH("按钮_注册").view(), open_account_window);
  window.on_click(ZH("按钮_充值").view(), recharge);

  for (const Choice& plan : plan_table()) {
    window.on_click(plan.radio.view(), [price = plan.value] { place_order(price); });
  }
  for (const Choice& channel : channel_table()) {
    window.on_click(channel.radio.view(), [path = channel.value] { show_channel_picture(path); });
  }
}

}  // namespace app
