#include "platform/events/events.h"

#include <utility>

namespace platform {
namespace {
std::function<void()>& installed_pump() {
  static std::function<void()> pump;
  return pump;
}
}  // namespace

void process_events() {
  // A copy, so that a pump replaced while it runs stays alive until it returns.
  if (auto pump = installed_pump()) pump();
}

std::function<void()> set_event_pump(std::function<void()> pump) {
  return std::exchange(installed_pump(), std::move(pump));
}

}  // namespace platform
