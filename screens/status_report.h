#pragma once
#include <string>

#include "app/state.h"

namespace zd {

// The German report of a 20-character status record.
std::string build_status_report(const std::string& record, const ValueNames& names);
// Queries the device and writes the report (or its failure text) into the
// output pane; sets the settings string from a valid record.
void show_device_status(Context& ctx);

}  // namespace zd
