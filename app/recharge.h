// The recharge actions of MainWindow: plans, channels and payment orders.
#pragma once

#include "base/text.h"

namespace app {

// The click action of a plan radio button, with the plan's price text ("5", "20", "50", "100").
void place_order(const Text& price);
// The click action of a channel radio button, with the picture path of the channel.
void show_channel_picture(const Text& path);
// The click action of the recharge button.
void recharge();

}  // namespace app
