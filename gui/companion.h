#pragma once
#include "gui/state.h"

namespace zd {

// After a scan: offers to write the result into Parvolet.ini, drops the
// events queued during the scan, enables the buttons, overview mode off.
void export_scan_result(Context& ctx);
// Closes the link, saves the configuration and starts Parvolet.exe of the
// working directory. The caller ends the program afterwards.
void start_companion(Context& ctx);

}  // namespace zd
