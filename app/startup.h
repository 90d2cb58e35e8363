// Start-up of the client and the address of its server.
#pragma once

#include "base/text.h"

namespace app {

// The host of the account server as this build was configured.
Text build_server_host();

// Where the client finds its server. Accounts and pictures are on `account_port`, payments on
// `payment_port` of the same host.
struct ServerAddress {
  Text host = build_server_host();
  int account_port = 8012;
  int payment_port = 999;
};

// Start-up after the GUI platform exists: registers `release_session` to run at program end
// (once per process), then creates MainWindow in its start state, runs its creation event
// (which sets `base_url` from `server`) and shows it. Returns with the window open; the caller
// runs the event loop.
void start(const ServerAddress& server = {});

// The address given to the last `start`.
const ServerAddress& server_address();

// "http://" + host + ":" + payment port + "/pay.jsp", from the address given to `start`.
Text payment_endpoint();

}  // namespace app
