#include "app/recharge.h"

namespace app {

void place_order(const Text&) {}

void show_channel_picture(const Text&) {}

void recharge() {}

}  // namespace app
