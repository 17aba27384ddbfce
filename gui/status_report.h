#pragma once
#include <string>

#include "core/status_text.h"
#include "gui/state.h"

namespace zd {

// Queries the device and writes the report (or its failure text) into the
// output pane; sets the settings string from a valid record.
void show_device_status(Context& ctx);

}  // namespace zd
