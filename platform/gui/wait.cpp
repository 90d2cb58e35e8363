#include "platform/gui/wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <thread>

namespace platform::gui {

bool wait_dispatching(std::chrono::nanoseconds duration) {
  using namespace std::chrono;

  if (duration <= nanoseconds::zero()) return true;
  // The steady clock counts from boot, so adding up to half its range cannot overflow.
  duration = std::min(duration, nanoseconds::max() / 2);
  if (QCoreApplication::instance() == nullptr) {
    std::this_thread::sleep_for(duration);
    return true;
  }

  const steady_clock::time_point deadline = steady_clock::now() + duration;
  // A QTimer interval is an int of milliseconds; a longer wait takes several rounds.
  constexpr milliseconds longest_round(std::numeric_limits<int>::max());
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  bool fired = false;
  QObject::connect(&timer, &QTimer::timeout, &loop, [&fired, &loop] {
    fired = true;
    loop.quit();
  });
  // Qt timers count whole milliseconds and may fire a fraction of one early: wait again for
  // what is left until the deadline has truly passed.
  for (;;) {
    const nanoseconds left = deadline - steady_clock::now();
    if (left <= nanoseconds::zero()) return true;
    fired = false;
    timer.start(std::min(ceil<milliseconds>(left), longest_round));
    loop.exec();
    // Left without our timer: the application is ending, and exec would return at once again.
    if (!fired) return false;
  }
}

}  // namespace platform::gui
