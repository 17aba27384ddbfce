#pragma once
#include <string>
#include <vector>

#include "device/port_scan.h"
#include "device/status_record.h"
#include "device/timer_ops.h"

// The JSON forms of the reports, as UTF-8 text with a final line end.
namespace zd {

std::string status_json(const std::string& record, const ValueNames& names);

struct ListedTimer {
    int timer = 0;
    TimerReading reading;
    TimerFields fields;
};
std::string timers_json(const std::vector<ListedTimer>& timers);

std::string scan_json(const std::vector<ScanEntry>& entries);

}  // namespace zd
