#include "core/schedule.h"

#include <algorithm>

#include "core/validation.h"
#include "device/text_util.h"

namespace zd {

namespace {

int number(const std::string& r, std::size_t pos) { return static_cast<int>(leading_number(r.substr(pos, 2))); }

long long midnight(const LocalTime& t) { return civil_seconds(t.year, t.month, t.day, 0, 0, 0); }

}  // namespace

bool TimerTimes::runs_on(long long day) const { return by_date ? day == date : days[civil_weekday(day)]; }

long long TimerTimes::start_on(long long day) const { return day + start * 60LL; }

long long TimerTimes::end_on(long long day) const { return day + end * 60LL + (end < start ? kDaySeconds : 0); }

bool timer_times(const ListedTimer& t, TimerTimes& times) {
    if (t.reading.state != TimerState::Set) return false;
    TimerFields f = t.fields;
    build_timer_record(f);
    const std::string& r = f.record;
    if (!is_composable_record(r)) return false;
    times = TimerTimes();
    times.by_date = r[0] == 'D';
    const std::size_t tail = times.by_date ? 7 : 8;  // where the source begins
    if (times.by_date)
        times.date = civil_seconds(2000 + number(r, 5), number(r, 3), number(r, 1), 0, 0, 0);
    else
        for (int d = 0; d < 7; ++d) times.days[d] = r[static_cast<std::size_t>(1 + d)] == '1';
    times.start = number(r, tail + 7) * 60 + number(r, tail + 9);
    times.end = number(r, tail + 13) * 60 + number(r, tail + 15);
    times.record = r;
    return true;
}

std::vector<ScheduleEntry> timer_schedule(const std::vector<ListedTimer>& timers, const LocalTime& now, int days,
                                          const std::string (&stations)[kStationCount]) {
    struct Run {
        long long start, end;  // civil seconds
        int timer;
        const ListedTimer* from;
    };
    std::vector<Run> runs;
    if (days < 1 || days > kMaxScheduleDays) return {};
    const long long today = midnight(now);
    const long long from = civil_seconds(now.year, now.month, now.day, now.hour, now.minute, 0);
    const long long until = today + days * kDaySeconds;
    for (const ListedTimer& t : timers) {
        TimerTimes times;
        if (!timer_times(t, times)) continue;
        // From yesterday: a run across midnight may still be going.
        for (long long day = today - kDaySeconds; day < until; day += kDaySeconds) {
            if (!times.runs_on(day)) continue;
            const long long start = times.start_on(day);
            const long long end = times.end_on(day);
            if (start < until && (start >= from || end > from)) runs.push_back({start, end, t.timer, &t});
        }
    }
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) {
        return a.start != b.start ? a.start < b.start : a.timer < b.timer;
    });
    std::vector<ScheduleEntry> entries;
    for (const Run& r : runs)
        entries.push_back({r.timer, civil_time(r.start), civil_time(r.end), timer_summary(*r.from, stations)});
    return entries;
}

int schedule_days(const std::string& text, std::string& problem) {
    const bool digits = !text.empty() && text.size() <= 2 && text.find_first_not_of("0123456789") == std::string::npos;
    const int n = digits ? std::stoi(text) : 0;
    if (n >= 1 && n <= kMaxScheduleDays) return n;
    problem = "days: \"" + shown_text(text) + "\" ist keine Zahl von 1 bis " + std::to_string(kMaxScheduleDays);
    return 0;
}

std::string iso_minute(const CivilTime& t) {
    return std::to_string(t.year) + "-" + two_digit(t.month) + "-" + two_digit(t.day) + "T" + two_digit(t.hour) +
           ":" + two_digit(t.minute);
}

}  // namespace zd
