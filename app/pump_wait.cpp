#include "app/pump_wait.h"

#include <chrono>
#include <limits>

#include "platform/gui/wait.h"

namespace app {
namespace {

double factor_ms(int unit) {
  switch (unit) {
    case 0: return 1;
    case 1: return 1000;
    case 2: return 60000;
    case 3: return 3600000;
    default: return unit;
  }
}

}  // namespace

std::int64_t pump_wait_due(int duration, int unit) {
  const double due = static_cast<double>(duration) * factor_ms(unit) * -10000.0;
  // A double beyond the int64 range has no defined conversion: clamp it first. 2^63 is exact.
  constexpr double two_to_63 = 9223372036854775808.0;
  if (due >= two_to_63) return std::numeric_limits<std::int64_t>::max();
  if (due <= -two_to_63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(due);  // truncates toward zero
}

bool pump_wait(int duration, int unit) {
  const std::int64_t due = pump_wait_due(duration, unit);
  if (due >= 0) return true;
  constexpr std::int64_t max_ticks = std::chrono::nanoseconds::max().count() / 100;
  const std::int64_t ticks = due < -max_ticks ? max_ticks : -due;
  platform::gui::wait_dispatching(std::chrono::nanoseconds(ticks * 100));
  return true;
}

}  // namespace app
