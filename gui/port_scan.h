#pragma once
#include "gui/state.h"

namespace zd {

// Asks the addresses 0 to 9 for their identity and lists them in the output
// pane. Leaves the main buttons disabled; export_scan_result enables them.
void scan_ports(Context& ctx);

}  // namespace zd
