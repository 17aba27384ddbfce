#pragma once
#include <string>

#include "app/state.h"
#include "device/timer_entry.h"

namespace zd {

// Lists the five timers in the output pane (overview mode is switched on by the caller).
void show_timer_overview(Context& ctx);

}  // namespace zd
