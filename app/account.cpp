#include "app/account.h"

#include "app/session.h"
#include "app/windows.h"
#include "base/literal.h"
#include "net/url.h"
#include "net/winhttp_request.h"
#include "platform/gui/gui.h"

namespace app {
namespace {

// base_url + path + "?uid=" + account + "&pwd=" + password, each value percent-encoded so that
// '&', '#', '%', '+', blanks and line ends reach the server as the user typed them.
Text account_url(const char* path, const Text& account, const Text& password) {
  return concat_text(session().base_url, path, "?uid=", encode_query_value(account),
                     "&pwd=", encode_query_value(password));
}

}  // namespace

void login(const Text& account, const Text& password) {
  const Text reply = winhttp_request(account_url("/lg.jsp", account, password));
  if (find_text(reply, ZH("登陆成功")) == -1) {
    platform::gui::message_box(reply.view());
    return;
  }
  const Text token = text_after_last(reply, ZH("登陆成功|"));
  session().session_token = token;
  if (token.empty()) {
    platform::gui::message_box(reply.view());
    return;
  }
  platform::gui::message_box(ZH("登陆成功").view());
  // Either window may have been closed while the request or the box ran: the handles then do
  // nothing.
  account_window().destroy();
  session().account_id = account;
  main_window().set_title(concat_text(ZH("当前账号:"), session().account_id).view());
}

void sign_up(const Text& account, const Text& password) {
  const Text reply = winhttp_request(account_url("/zc.jsp", account, password));
  platform::gui::message_box(reply.view());
}

Text text_after_last(const Text& text, const Text& marker, std::optional<int> start,
                     bool case_blind) {
  const int s = start ? *start : text_length(text) + 1;
  const int pos = find_text_reverse(text, marker, s, case_blind);
  if (pos == -1) return Text();
  return text_right(text, text_length(text) - text_length(marker) - pos + 1);
}

}  // namespace app
