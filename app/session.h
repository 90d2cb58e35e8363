// The session values of the running client: one process-wide record, in memory only.
#pragma once

#include "base/text.h"

namespace app {

// Every field starts empty and is only ever replaced whole (the old value released, the new one
// owned by the record); all of it is read and written on the GUI thread only.
struct SessionState {
  Text base_url;       // "http://" + account server host + ":" + account port, no trailing "/"
  Text account_id;     // the logged-in account name; empty while nobody is logged in
  Text order_id;       // the order number of the last order reply; may be empty
  Text session_token;  // the token of the last login reply that reported success; may be empty
};

SessionState& session();

// The exit routine: releases account_id, base_url, order_id and session_token, in that order.
void release_session();

}  // namespace app
