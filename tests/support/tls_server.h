// A TLS server on 127.0.0.1 (an ephemeral port, a thread in the test process) holding a
// self-signed certificate made when it starts, for the names "localhost" and "127.0.0.1". A
// client that verifies certificates must refuse it; the server counts the handshakes that
// completed all the same.
#pragma once

#include <memory>

namespace test_support {

class SelfSignedTlsServer {
 public:
  SelfSignedTlsServer();
  ~SelfSignedTlsServer();
  SelfSignedTlsServer(const SelfSignedTlsServer&) = delete;
  SelfSignedTlsServer& operator=(const SelfSignedTlsServer&) = delete;

  int port() const;
  int connections() const;           // accepted so far
  int completed_handshakes() const;  // of those, the ones the client went through with

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace test_support
