// The dispatch point of pending window events, usable from code that knows nothing of the GUI.
//
// `process_events` runs the installed pump: the GUI layer installs one that dispatches every
// pending event and returns. Where no GUI exists (a plain unit test of the request layer) no
// pump is installed and `process_events` does nothing. Tests install a counting pump to observe
// the dispatch points.
#pragma once

#include <functional>

namespace platform {

// Dispatches pending events through the installed pump, if any, then returns.
void process_events();

// Installs `pump` (an empty function removes it) and returns the previous one.
std::function<void()> set_event_pump(std::function<void()> pump);

}  // namespace platform
