// The recharge actions of MainWindow: plans, channels and payment orders.
#pragma once

#include <vector>

#include "base/text.h"

namespace app {

// A radio button of MainWindow and what it stands for: a plan's price text or a channel's
// picture path. The tables list the buttons in the order in which actions look for the checked
// one.
struct Choice {
  Text radio;  // form name
  Text value;
};
const std::vector<Choice>& plan_table();
const std::vector<Choice>& channel_table();

// The click action of a plan radio button, with the plan's price text ("5", "20", "50", "100").
// Logged in only: cancels the previous order (then pauses 100 ms), refreshes the channel
// picture, orders, and shows the amount and order number of the reply.
void place_order(const Text& price);
// The click action of a channel radio button, with the picture path of the channel. Logged in
// only: shows the picture the account server has under that path (nothing when it is no picture).
void show_channel_picture(const Text& path);
// The click action of the recharge button: the checked channel's action, then the checked plan's.
void recharge();

}  // namespace app
