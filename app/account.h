// Login and sign-up: the two actions of AccountWindow.
#pragma once

#include <optional>

#include "base/text.h"

namespace app {

// The click action of AccountWindow's login button, with the account name and password as typed.
// On a reply holding "登陆成功" and a token after its last "登陆成功|", stores the token and the
// account, says so, destroys AccountWindow and puts the account into MainWindow's title. Any
// other reply (the empty one of a failed request included) is shown as it is.
void login(const Text& account, const Text& password);
// The click action of AccountWindow's sign-up button: shows the server's reply as it is.
void sign_up(const Text& account, const Text& password);

// The part of `text` after the last occurrence of `marker` lying wholly before `start`
// (omitted: the whole text is searched); the empty Text when there is none.
Text text_after_last(const Text& text, const Text& marker, std::optional<int> start = std::nullopt,
                     bool case_blind = false);

}  // namespace app
