#pragma once
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "device/port_scan.h"
#include "device/status_record.h"
#include "core/schedule.h"
#include "core/timer_text.h"

// The JSON forms of the reports, UTF-8. Every front end that publishes the
// device's state publishes these objects.
namespace zd {

using JsonObject = nlohmann::ordered_json;

// A status record: record, date, time, the four settings as texts, ir, settings.
JsonObject status_object(const std::string& record, const ValueNames& names);

// Every object has every key; what an empty or failed timer lacks is null.
JsonObject timer_object(const ListedTimer& timer);

// {"entries": [{"timer", "start", "end", "summary"}]}, times as "2026-12-10T06:30".
JsonObject schedule_object(const std::vector<ScheduleEntry>& entries);

// Windows-1252 texts as a list of UTF-8 strings.
JsonObject utf8_list(const std::vector<std::string>& texts);

// As text with a final line end.
std::string status_json(const std::string& record, const ValueNames& names);
std::string timers_json(const std::vector<ListedTimer>& timers);
std::string scan_json(const std::vector<ScanEntry>& entries);

}  // namespace zd
