#include "app/startup.h"

#include <cstdlib>
#include <string>

#include "app/session.h"
#include "app/windows.h"

namespace app {
namespace {

ServerAddress& current_server() {
  static ServerAddress server;
  return server;
}

// The creation event of MainWindow: runs before the window handles any input.
void on_main_window_created() {
  const ServerAddress& server = server_address();
  const std::string port = std::to_string(server.account_port);
  session().base_url = concat_text("http://", server.host, ":", std::string_view(port));
}

}  // namespace

Text build_server_host() {
  return Text(ACCOUNT_SERVER_HOST);
}

void start(const ServerAddress& server) {
  static const bool registered = std::atexit(release_session) == 0;
  (void)registered;
  current_server() = server;
  main_window() = platform::gui::create_window(main_window_spec());
  on_main_window_created();
  wire_main_window(main_window());
  main_window().show();
}

const ServerAddress& server_address() {
  return current_server();
}

Text payment_endpoint() {
  const ServerAddress& server = server_address();
  const std::string port = std::to_string(server.payment_port);
  return concat_text("http://", server.host, ":", std::string_view(port), "/pay.jsp");
}

}  // namespace app
