#pragma once
#include <string>

#include "app/state.h"
#include "device/status_text.h"

namespace zd {

// Queries the device and writes the report (or its failure text) into the
// output pane; sets the settings string from a valid record.
void show_device_status(Context& ctx);

}  // namespace zd
