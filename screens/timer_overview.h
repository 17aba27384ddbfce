#pragma once
#include "app/state.h"

namespace zd {

// Lists the five timers in the output pane (overview mode is switched on by the caller).
void show_timer_overview(Context& ctx);

}  // namespace zd
