#pragma once
#include <string>
#include <vector>

#include "core/config.h"
#include "device/timer_ops.h"
#include "device/timer_record.h"

namespace zd {

// "Tuner", "CD", "Tape1", "Tape2", "Phono"; "" for any other source digit.
std::string source_name(const std::string& source);
// The names of the set target flags in the order Tape1, Tape2, LS-A, LS-B.
std::vector<std::string> target_names(const std::string& targets);

// The five-line overview entry of one timer after read timer and parse
// timer reply, lines separated by "\r" (the first one at its start).
std::string timer_overview_entry(int timer_number, const TimerFields& fields, const std::string& last_reply);

// One timer as a front end read it: the reading and its decoded fields.
struct ListedTimer {
    int timer = 0;
    TimerReading reading;
    TimerFields fields;
};
// Timer n as if the device had answered with `record` ("" empty).
ListedTimer listed_timer(int n, const std::string& record);
// The overview entry of a timer on one line, at most 255 characters, with
// the station's name for a tuner timer where one is set.
std::string timer_summary(const ListedTimer& timer, const std::string (&stations)[kStationCount]);
// The name of a set tuner timer's station; "" for any other timer, or a
// station without a name.
std::string timer_station_name(const ListedTimer& timer, const std::string (&stations)[kStationCount]);

}  // namespace zd
