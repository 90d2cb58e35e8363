// The two windows of the client: their descriptions and the handles the program holds them by.
#pragma once

#include "platform/gui/gui.h"

namespace app {

// The start-up window: plans, channels, recharge, and the buttons that open AccountWindow.
platform::gui::WindowSpec main_window_spec();
// The small window for typing an account name and a password.
platform::gui::WindowSpec account_window_spec();

// Guarded handles: each refers to the current window of its kind, or to none once it is gone.
platform::gui::Window& main_window();
platform::gui::Window& account_window();

// Shows AccountWindow, modeless and without owner. An open one is restored when minimised and
// brought to the front; no second one is made. A fresh one has empty edit boxes.
void open_account_window();

// Attaches the click handlers of MainWindow.
void wire_main_window(platform::gui::Window& window);

}  // namespace app
