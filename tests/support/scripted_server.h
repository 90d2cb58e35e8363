// A scripted HTTP server on 127.0.0.1 (an ephemeral port, threads in the test process) that
// records each request's exact bytes and answers each request with a script of actions.
//
//   ScriptedServer server({{send(reply("200 OK", "hello"))}});
//   Text body = winhttp_request(Text(server.url("/lg.jsp?uid=u")));
//   ASSERT_TRUE(server.wait_for_requests(1));
//   EXPECT_EQ(server.requests()[0].request_line, "GET /lg.jsp?uid=u HTTP/1.1");
//
// A request is read up to the empty line after its headers, plus a body of Content-Length
// bytes. Request k (1-based, counted over all connections) gets script k; once the scripts run
// out, the last one answers every further request (an empty list: no answer at all). After a
// script that neither closes nor stays silent, the connection waits for its next request.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

struct Action {
  enum class Kind { send, wait, drip, close, silent };
  Kind kind = Kind::send;
  std::string bytes;
  int ms = 0;
};

// Sends the bytes at once.
Action send(std::string bytes);
// Waits before the next action.
Action wait_ms(int ms);
// Sends the bytes one at a time, waiting `ms_per_byte` before each.
Action drip(std::string bytes, int ms_per_byte);
// Closes the connection; the script ends.
Action close_connection();
// Leaves the connection open and unanswered until the client closes it or the server ends.
Action stay_silent();

using Script = std::vector<Action>;

// "HTTP/1.1 <status>\r\n", the extra header lines (each ending with CR LF), a Content-Length
// line, the empty line and the body.
std::string reply(std::string_view status, std::string_view body = {},
                  std::string_view extra_headers = {});

struct RecordedRequest {
  std::string request_line;  // without CR LF
  std::string headers;       // the header lines, each with CR LF, without the empty line
  std::string body;
  int connection = 0;  // 1-based, in the order of accepting

  // The header lines without the first one named `name` (letter case ignored).
  std::string headers_without(std::string_view name) const;
  // The value of the first header named `name` (letter case ignored); empty when missing.
  std::string header(std::string_view name) const;
};

class ScriptedServer {
 public:
  explicit ScriptedServer(std::vector<Script> scripts);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const;
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(std::string_view path = "/") const;

  // True once at least `n` requests were recorded; false when `limit` passes first.
  bool wait_for_requests(int n, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
  // True once at least `n` connections were accepted; false when `limit` passes first.
  bool wait_for_connections(int n,
                            std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
  // The requests recorded so far, in the order they were read.
  std::vector<RecordedRequest> requests() const;
  int connections() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// A loopback port that refuses every connection while this object lives (bound, not
// listening).
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace test_support
