// Servers that misbehave on purpose, each scenario through both request functions: whatever the
// server sends, the call ends within its idle limit (winhttp_request: the `timeout` given;
// wininet_request: the engine's default of 30 s without a byte), with the result the function
// defines for that failure, no handle left open, and bounded memory.
//
// Each call prints one line (function, scenario, what came back, seconds taken).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "base/literal.h"
#include "base/text.h"
#include "net/winhttp_request.h"
#include "net/wininet_request.h"
#include "platform/codepage/codepage.h"
#include "platform/winhttp/winhttp.h"
#include "platform/wininet/wininet.h"
#include "tests/support/peak_memory.h"
#include "tests/support/scripted_server.h"

namespace {

using namespace test_support;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWinHttpLimitSeconds = 1;   // the `timeout` given to winhttp_request
constexpr int kWinInetLimitSeconds = 30;  // the receive limit wininet_request runs with
// Added to a call's idle limit to make its hang check: generous, as the machines are shared and
// the suite also runs under sanitizers and valgrind.
constexpr double kHangMarginSeconds = 30;
// Peak resident memory a single call may add.
constexpr long kMemoryBoundKib = 128 * 1024;

// ---- memory ----

using test_support::reset_peak_rss;
using test_support::status_kib;

// ---- the responses ----

std::string chunked(std::string_view chunks) {
  return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(chunks);
}

// A page whose head declares `charset`, with a GBK body.
std::string page_declaring(std::string_view charset) {
  return "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
         std::string(charset) + "\"></head><body>" + ZH("中文").bytes() + "</body></html>";
}

std::string many_header_lines(std::size_t bytes) {
  std::string lines;
  lines.reserve(bytes + 64);
  for (int i = 0; lines.size() < bytes; ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "X-Pad-%05d: %050d\r\n", i, i);
    lines.append(line);
  }
  return lines;
}

std::string set_cookie_lines(int n) {
  std::string lines;
  for (int i = 0; i < n; ++i) {
    lines.append("Set-Cookie: c").append(std::to_string(i)).append("=").append(std::to_string(i));
    lines.append("\r\n");
  }
  return lines;
}

std::string cookie_string(int n) {
  std::string pairs;
  for (int i = 0; i < n; ++i) {
    if (i > 0) pairs.append("; ");
    pairs.append("c").append(std::to_string(i)).append("=").append(std::to_string(i));
  }
  return pairs;
}

// ---- the scenarios ----

struct Scenario {
  const char* name;
  std::vector<Script> scripts{};  // ignored when `refused`
  bool refused = false;           // a port that refuses connections
  // The call can end only by its idle limit (runs beside the other such scenarios).
  bool idle = false;
  bool check_memory = false;
  // Passes the cookie string "x=1; c7=old" (so the collected cookies are merged into it).
  bool with_cookies = false;

  // winhttp_request: status_text. Both: the body (body_bytes of winhttp_request). The result
  // text of winhttp_request is the body up to its first zero byte unless `winhttp_text` says
  // otherwise (a converted charset).
  Text status{};
  std::string body{};
  std::optional<Text> winhttp_text{};
  // Both: the cookies collected (merged when `with_cookies`), when given.
  std::optional<std::string> new_cookies{};
  // Both: the requests the server may see at most (a redirect loop must be cut).
  int max_requests = 1;
};

std::vector<Scenario> scenarios() {
  const Text& no_response = ZH("712 服务器未响应!");
  const Text ok("200 OK");
  const std::string head_100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
  const std::string dripped_body(40, 'd');
  const std::string bad_gbk = "\x81 ab\xff\x80\0tail\xfe"s;
  const std::string cookies_10k = set_cookie_lines(10000);
  const std::string utf8_page = "<html><head><meta charset=\"utf-8\"></head><body>\xff\xfe" +
                                "\xe4\xb8\xad\0after"s + "</body></html>";

  std::vector<Scenario> rows;
  rows.push_back({.name = "refused connection",
                  .refused = true,
                  .status = ZH("711 发送请求失败!"),
                  .max_requests = 0});
  rows.push_back({.name = "accept and silence",
                  .scripts = {{stay_silent()}},
                  .idle = true,
                  .status = no_response});
  // After the headers a failure is a failed read that keeps the bytes before it; the header
  // query then succeeds and its status text replaces the read failure's message.
  rows.push_back({.name = "closed mid-body",
                  .scripts = {{send(head_100 + "abc"), close_connection()}},
                  .status = ok,
                  .body = "abc"});
  // A length the body never reaches must not cost memory of that size.
  rows.push_back({.name = "Content-Length of 1 TB, 3 bytes sent",
                  .scripts = {{send("HTTP/1.1 200 OK\r\nContent-Length: 1000000000000\r\n\r\nabc"),
                               close_connection()}},
                  .check_memory = true,
                  .status = ok,
                  .body = "abc"});
  rows.push_back({.name = "chunk size not hexadecimal",
                  .scripts = {{send(chunked("3\r\nabc\r\nzz\r\nxyz\r\n0\r\n\r\n"))}},
                  .status = ok,
                  .body = "abc"});
  rows.push_back(
      {.name = "chunk size beyond 64 bits",
       .scripts = {{send(chunked("3\r\nabc\r\n1FFFFFFFFFFFFFFFF\r\nxyz")), close_connection()}},
       .status = ok,
       .body = "abc"});
  rows.push_back({.name = "no last chunk",
                  .scripts = {{send(chunked("3\r\nabc\r\n")), close_connection()}},
                  .status = ok,
                  .body = "abc"});
  rows.push_back({.name = "status line without a version",
                  .scripts = {{send("200 OK\r\nContent-Length: 2\r\n\r\nhi")}},
                  .status = no_response});
  rows.push_back({.name = "status code not a number",
                  .scripts = {{send("HTTP/1.1 2x0 OK\r\nContent-Length: 2\r\n\r\nhi")}},
                  .status = no_response});
  rows.push_back({.name = "zero byte in the status line",
                  .scripts = {{send("HTTP/1.1 200 O\0K\r\nContent-Length: 2\r\n\r\nhi"s)}},
                  .status = no_response});
  rows.push_back({.name = "status line, then the connection closes",
                  .scripts = {{send("HTTP/1.1 200 OK\r\n"), close_connection()}},
                  .status = no_response});
  rows.push_back(
      {.name = "one header line of 1 MiB",
       .scripts = {{send(reply("200 OK", "hi", "X-Big: " + std::string(1 << 20, 'b') + "\r\n"))}},
       .check_memory = true,
       .status = no_response});
  rows.push_back({.name = "1 MiB of header lines",
                  .scripts = {{send(reply("200 OK", "hi", many_header_lines(1 << 20)))}},
                  .check_memory = true,
                  .status = no_response});
  // Without a cookie string wininet_request also hands them to the process-wide store.
  rows.push_back({.name = "10,000 Set-Cookie lines",
                  .scripts = {{send(reply("200 OK", "ok", cookies_10k))}},
                  .check_memory = true,
                  .status = ok,
                  .body = "ok",
                  .new_cookies = cookie_string(10000)});
  rows.push_back({.name = "10,000 Set-Cookie lines, merged",
                  .scripts = {{send(reply("200 OK", "ok", cookies_10k))}},
                  .check_memory = true,
                  .with_cookies = true,
                  .status = ok,
                  .body = "ok",
                  .new_cookies = cookie_string(10000) + "; x=1"});
  rows.push_back({.name = "redirect loop",
                  .scripts = {{send(reply("302 Found", "", "Location: /loop\r\n"))}},
                  .status = no_response,
                  .max_requests = 11});
  rows.push_back({.name = "slow drip within the limit",
                  .scripts = {{drip(reply("200 OK", "slow"), 10)}},
                  .status = ok,
                  .body = "slow"});
  // The limit is between bytes, not on the whole transfer.
  rows.push_back(
      {.name = "slow drip past the limit in all, never idle that long",
       .scripts = {{send("HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n"), drip(dripped_body, 60)}},
       .status = ok,
       .body = dripped_body});
  rows.push_back(
      {.name = "pause past the limit mid-body",
       .scripts = {{send(head_100 + "ab"), wait_ms((kWinInetLimitSeconds + 5) * 1000), send("cd")}},
       .idle = true,
       .status = ok,
       .body = "ab"});
  rows.push_back({.name = "invalid GBK and a zero byte",
                  .scripts = {{send(reply("200 OK", bad_gbk))}},
                  .status = ok,
                  .body = bad_gbk});
  // A declared charset that names no encoding the conversion offers (or is no label at all)
  // leaves the body as it came.
  for (const char* label : {"../../etc", "replacement", "utf-7", "x-user-defined"}) {
    rows.push_back({.name = label,
                    .scripts = {{send(reply("200 OK", page_declaring(label)))}},
                    .status = ok,
                    .body = page_declaring(label)});
  }
  const std::string long_label(1000, 'x');
  rows.push_back({.name = "a label of 1000 characters",
                  .scripts = {{send(reply("200 OK", page_declaring(long_label)))}},
                  .status = ok,
                  .body = page_declaring(long_label)});
  // Malformed UTF-8 becomes one "?" per bad byte; the zero byte ends the text.
  rows.push_back({.name = "utf-8 with malformed bytes and a zero byte",
                  .scripts = {{send(reply("200 OK", utf8_page))}},
                  .status = ok,
                  .body = utf8_page,
                  .winhttp_text = Text("<html><head><meta charset=\"utf-8\"></head><body>??" +
                                       ZH("中").bytes())});
  return rows;
}

// ---- running them ----

struct Outcome {
  std::string body;  // the body bytes
  Text text;         // winhttp_request's result text
  Text status;       // winhttp_request's status_text
  Text new_cookies;
  int requests = 0;
  double seconds = 0;
  long peak_growth_kib = 0;  // -1 when not measured
};

enum class Function { winhttp, wininet };

const char* name_of(Function f) {
  return f == Function::winhttp ? "winhttp_request" : "wininet_request";
}

Outcome run(Function function, const Scenario& row) {
  std::optional<ScriptedServer> server;
  std::optional<RefusingPort> refusing;
  std::string url;
  if (row.refused) {
    refusing.emplace();
    url = "http://127.0.0.1:" + std::to_string(refusing->port()) + "/";
  } else {
    server.emplace(row.scripts);
    url = server->url("/");
  }

  Outcome out;
  Text cookies("x=1; c7=old");
  const bool measure = row.check_memory && reset_peak_rss();
  const long rss_before = measure ? status_kib("VmRSS:") : 0;
  const auto start = Clock::now();
  if (function == Function::winhttp) {
    ByteSet bytes;
    out.text = winhttp_request(Text(url), {.cookies = row.with_cookies ? &cookies : nullptr,
                                           .new_cookies = &out.new_cookies,
                                           .timeout = kWinHttpLimitSeconds,
                                           .status_text = &out.status,
                                           .body_bytes = &bytes});
    out.body = bytes.storage();
  } else {
    out.body = wininet_request(Text(url), {.cookies = row.with_cookies ? &cookies : nullptr,
                                           .new_cookies = &out.new_cookies})
                   .storage();
  }
  out.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  out.peak_growth_kib = measure ? status_kib("VmHWM:") - rss_before : -1;
  if (server) out.requests = static_cast<int>(server->requests().size());
  return out;
}

void check(Function function, const Scenario& row, const Outcome& out) {
  SCOPED_TRACE(std::string(name_of(function)) + ": " + row.name);
  const double limit = function == Function::winhttp ? kWinHttpLimitSeconds : kWinInetLimitSeconds;
  std::string result = std::to_string(out.body.size()) + " body bytes";
  if (function == Function::winhttp) {
    result.insert(0, platform::codepage::cp936_to_utf8(out.status.view()) + ", ");
  }
  if (out.peak_growth_kib >= 0) result += ", peak +" + std::to_string(out.peak_growth_kib) + " KiB";
  std::printf("hostile: %-16s| %-55s| %-50s| %6.2f s\n", name_of(function), row.name,
              result.c_str(), out.seconds);

  EXPECT_LT(out.seconds, limit + kHangMarginSeconds) << "hang check";
  if (row.idle) {
    EXPECT_GE(out.seconds, 0.9 * limit) << "ended before the idle limit";
  }
  if (out.peak_growth_kib >= 0) {
    EXPECT_LT(out.peak_growth_kib, kMemoryBoundKib) << "peak resident memory grew too much";
  }
  EXPECT_LE(out.requests, row.max_requests);

  if (function == Function::winhttp) {
    EXPECT_EQ(out.status, row.status);
    EXPECT_EQ(out.body, row.body);
    EXPECT_EQ(out.text, row.winhttp_text.value_or(Text(row.body)));
  } else {
    EXPECT_EQ(out.body, row.body);
  }
  if (row.new_cookies) {
    EXPECT_EQ(out.new_cookies, Text(*row.new_cookies));
  }
}

// The scenarios that end only by the idle limit run side by side, so that the 30 s limit of
// wininet_request is waited for once; the others run one after the other, as the memory checks
// need.
void run_all(Function function) {
  const std::vector<Scenario> rows = scenarios();
  std::vector<std::pair<const Scenario*, std::future<Outcome>>> waiting;
  for (const Scenario& row : rows) {
    if (row.idle) {
      waiting.emplace_back(&row, std::async(std::launch::async, run, function, std::cref(row)));
    }
  }
  for (const Scenario& row : rows) {
    if (!row.idle) check(function, row, run(function, row));
  }
  for (auto& [row, outcome] : waiting) check(function, *row, outcome.get());
  EXPECT_EQ(function == Function::winhttp ? platform::winhttp::testing::open_handles()
                                          : platform::wininet::testing::open_handles(),
            0);
}

TEST(HostileServerTest, WinHttpRequest) {
  run_all(Function::winhttp);
}

TEST(HostileServerTest, WinInetRequest) {
  platform::wininet::testing::clear_cookie_store();
  run_all(Function::wininet);
}

}  // namespace
