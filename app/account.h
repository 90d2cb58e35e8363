// Login and sign-up: the two actions of AccountWindow.
#pragma once

#include "base/text.h"

namespace app {

// The click action of AccountWindow's login button, with the account name and password as typed.
void login(const Text& account, const Text& password);
// The click action of AccountWindow's sign-up button.
void sign_up(const Text& account, const Text& password);

}  // namespace app
