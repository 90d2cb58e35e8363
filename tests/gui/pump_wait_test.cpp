#include "app/pump_wait.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <limits>

#include "platform/gui/wait.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

TEST(PumpWait, DueIsDurationTimesUnitFactorInNegative100NanosecondUnits) {
  constexpr std::int64_t int64_min = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();
  struct Row {
    const char* name;
    int duration;
    int unit;
    std::int64_t due;
  };
  const Row rows[] = {
      {"0: milliseconds", 100, 0, -1'000'000},
      {"1: seconds", 2, 1, -20'000'000},
      {"2: minutes", 3, 2, -1'800'000'000},
      {"3: hours", 1, 3, -36'000'000'000},
      {"5: the value itself in ms", 7, 5, -350'000},
      {"-1: a negative factor turns the sign", 5, -1, 50'000},
      {"negative duration", -4, 0, 40'000},
      {"zero", 0, 1, 0},
      {"largest hours, no overflow", INT_MAX, 3, int64_min},
      {"most negative hours, no overflow", INT_MIN, 3, int64_max},
      {"largest unit taken as ms", INT_MAX, INT_MAX, int64_min},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(app::pump_wait_due(row.duration, row.unit), row.due);
  }
  EXPECT_EQ(app::pump_wait_due(42), app::pump_wait_due(42, 0));
}

TEST(PumpWait, DispatchesEventsThroughoutThePause) {
  int ticks = 0;
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
  timer.start(5);
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(app::pump_wait(100));
  const milliseconds waited = since(start);
  timer.stop();
  EXPECT_GE(waited, milliseconds(100));
  EXPECT_LT(waited, milliseconds(5000));  // hang check only
  EXPECT_GE(ticks, 5);  // a pause that blocked the loop would see none
}

TEST(PumpWait, AHandlerThatPausesRunsNestedAndBothEnd) {
  bool inner_done = false;
  QTimer::singleShot(10, [&inner_done] { inner_done = app::pump_wait(30); });
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(app::pump_wait(60));
  EXPECT_TRUE(inner_done);
  EXPECT_GE(since(start), milliseconds(60));
}

TEST(PumpWait, NothingToWaitForReturnsAtOnce) {
  // Each of these would wait for hours if its sign were dropped.
  struct Row {
    const char* name;
    int duration;
    int unit;
  };
  const Row rows[] = {
      {"zero", 0, 3},
      {"negative hours", -5, 3},
      {"negative unit", 5, -3600000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(app::pump_wait(row.duration, row.unit));
    EXPECT_LT(since(start), milliseconds(5000));  // hang check only
  }
}

// Closing the last window ends the application and tells every event loop to exit, the pause's
// included. The pause must then end at once, neither hanging nor spinning until its deadline.
// Run in a child process: once told to exit, no event loop of this process runs again.
TEST(PumpWaitDeathTest, EndsWhenTheApplicationEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        QTimer::singleShot(10, [] { QCoreApplication::exit(0); });
        const Clock::time_point start = Clock::now();
        const bool result = app::pump_wait(10, 1);
        std::_Exit(result && since(start) < milliseconds(5000) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
