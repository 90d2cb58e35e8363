#include "app/session.h"

namespace app {
namespace {
// Constant-initialised, so it exists before any code runs and outlives every exit routine
// registered while the program runs.
constinit SessionState the_session;
}  // namespace

SessionState& session() {
  return the_session;
}

void release_session() {
  the_session.account_id = Text();
  the_session.base_url = Text();
  the_session.order_id = Text();
  the_session.session_token = Text();
}

}  // namespace app
