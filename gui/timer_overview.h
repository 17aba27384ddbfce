#pragma once
#include <string>

#include "core/timer_text.h"
#include "gui/state.h"

namespace zd {

// Lists the five timers in the output pane (overview mode is switched on by the caller).
void show_timer_overview(Context& ctx);

}  // namespace zd
