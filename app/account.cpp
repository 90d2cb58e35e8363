#include "app/account.h"

namespace app {

void login(const Text&, const Text&) {}

void sign_up(const Text&, const Text&) {}

}  // namespace app
