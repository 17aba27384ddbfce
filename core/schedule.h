#pragma once
#include <string>
#include <vector>

#include "core/config.h"
#include "core/timer_text.h"
#include "device/clock_math.h"
#include "platform/system.h"

// When the hi-fi switches on and off, from the timers as read, in the
// host's local wall-clock time (the device has no time zone).
//
// A timer runs from its start to its end on each day it is set for (a
// weekday timer weekly, a dated timer once, in the year 20YY); an end
// before the start lies on the next day. An end equal to the start is taken
// as switching on and off in the same minute, not as a run of 24 hours: no
// one can tell how the device reads it, and a day-long run shown that never
// happens would be worse than a short one.
namespace zd {

constexpr int kMaxScheduleDays = 31;
constexpr long long kDaySeconds = 86400;

// A set timer whose record the editor could compose, as the times it runs.
struct TimerTimes {
    bool by_date = false;
    bool days[7] = {};   // Sunday .. Saturday, for a weekday timer
    long long date = 0;  // civil_seconds of the date's midnight, for a dated timer
    int start = 0;       // minutes after midnight
    int end = 0;         // minutes after midnight; before start: the next day
    std::string record;  // the record composed from the fields

    // For the day whose midnight is `day` (civil seconds).
    bool runs_on(long long day) const;
    long long start_on(long long day) const;
    long long end_on(long long day) const;
};
// False for a timer that is not set, or whose fields give no composable record.
bool timer_times(const ListedTimer& timer, TimerTimes& times);

struct ScheduleEntry {
    int timer = 0;
    CivilTime start;      // seconds 0
    CivilTime end;        // equal to start for a timer whose end is its start
    std::string summary;  // timer_summary(), Windows-1252
};

// The runs from `now` to the end of day `days` (today is day 1), by start,
// ties by timer number. A run still going at `now` (to the minute) is
// included, one that has ended is not. `days` outside 1..31 gives none.
std::vector<ScheduleEntry> timer_schedule(const std::vector<ListedTimer>& timers, const LocalTime& now, int days,
                                          const std::string (&stations)[kStationCount]);

// The number of days asked for, from "1" to "31"; else 0 and the German reason.
int schedule_days(const std::string& text, std::string& problem);

// "2026-12-10T06:30".
std::string iso_minute(const CivilTime& t);

}  // namespace zd
