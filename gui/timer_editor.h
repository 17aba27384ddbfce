#pragma once
#include "gui/state.h"

namespace zd {

// Opens the timer editor for the timer number in place of the main window,
// runs it until the user goes back, then rebuilds the main window.
void run_timer_editor(Context& ctx);

}  // namespace zd
