#include "core/schedule.h"

#include <algorithm>

#include "core/validation.h"
#include "device/text_util.h"

namespace zd {

namespace {

constexpr long long kDay = 86400;

int number(const std::string& r, std::size_t pos) { return static_cast<int>(leading_number(r.substr(pos, 2))); }

long long midnight(const LocalTime& t) { return civil_seconds(t.year, t.month, t.day, 0, 0, 0); }

}  // namespace

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
    const long long until = today + days * kDay;
    for (const ListedTimer& t : timers) {
        TimerTimes times;
        if (!timer_times(t, times)) continue;
        // From yesterday: a run across midnight may still be going.
        for (long long day = today - kDay; day < until; day += kDay) {
            if (times.by_date ? day != times.date : !times.days[civil_weekday(day)]) continue;
            const long long start = day + times.start * 60LL;
            const long long end = day + times.end * 60LL + (times.end < times.start ? kDay : 0);
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
