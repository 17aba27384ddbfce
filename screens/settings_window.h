#pragma once
#include "app/state.h"

namespace zd {

// Opens the settings window in place of the main window and runs it until
// the user goes back, then rebuilds the main window.
void run_settings_window(Context& ctx);

}  // namespace zd
