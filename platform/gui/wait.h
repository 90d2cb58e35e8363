// The pause that keeps the windows alive: sleeps until a deadline and dispatches every event
// that arrives meanwhile, so a click made during the pause runs its handler nested inside it.
#pragma once

#include <chrono>

namespace platform::gui {

// Waits `duration` from now. With an application object alive it sleeps in the event loop,
// woken by each incoming event and by the deadline, never spinning; without one it simply
// sleeps. A zero or negative duration returns at once.
//
// Returns false only when the wait ended before the deadline because the application is ending
// (its event loops were told to exit); the caller should then not wait again. A nested handler
// that runs long delays the return past the deadline: the wait resumes only when it returns.
bool wait_dispatching(std::chrono::nanoseconds duration);

}  // namespace platform::gui
