// The short pause between two order requests: it waits while the windows keep reacting.
#pragma once

#include <cstdint>

namespace app {

// The due time of a pause, in 100-nanosecond units, negative because it is relative to now:
// `duration` x factor x -10000 in double precision, truncated toward zero. The factor of `unit`
// is 1 for 0 (milliseconds), 1000 for 1 (seconds), 60000 for 2 (minutes), 3600000 for 3 (hours)
// and, for any other value, the value itself taken as a number of milliseconds. Products beyond
// the signed 64-bit range saturate at its ends.
std::int64_t pump_wait_due(int duration, int unit = 0);

// Waits `duration` in `unit` (as above), dispatching window messages throughout, so that a click
// meanwhile runs its handler nested inside the pause. A due time that is not negative (a zero
// or negative duration or factor) returns at once. Returns true.
bool pump_wait(int duration, int unit = 0);

}  // namespace app
