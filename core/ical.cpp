#include "core/ical.h"

#include "core/schedule.h"
#include "core/utf8.h"
#include "core/version.h"
#include "device/text_util.h"

namespace zd {

namespace {

constexpr std::size_t kMaxOctets = 75;
// BYDAY names in the order of a record's day flags, Sunday first.
const char* const kByDay[7] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

// "20261210T063000", with "Z" for a UTC time.
std::string stamp(long long seconds, const char* zone_mark = "") {
    const CivilTime t = civil_time(seconds);
    return std::to_string(t.year) + two_digit(t.month) + two_digit(t.day) + "T" + two_digit(t.hour) +
           two_digit(t.minute) + two_digit(t.second) + zone_mark;
}

void event(std::string& out, const ListedTimer& t, const TimerTimes& times, long long today, long long now_utc,
           const std::string& device_id, const std::string& summary) {
    long long day = times.date;
    std::string by_day;
    if (!times.by_date) {
        for (int d = 1; d <= 7; ++d)  // Monday first, as the editor shows them
            if (times.days[d % 7]) by_day += (by_day.empty() ? "" : ",") + std::string(kByDay[d % 7]);
        if (by_day.empty()) return;
        for (day = today; !times.runs_on(day); day += kDaySeconds) {
        }
    }
    const long long start = times.start_on(day);
    const long long end = times.end_on(day);
    out += ical_line("BEGIN:VEVENT");
    out += ical_line("UID:" + ical_text("timer-" + std::to_string(t.timer) + "-" + times.record + "@zendrill-" +
                                        device_id));
    out += ical_line("DTSTAMP:" + stamp(now_utc, "Z"));
    out += ical_line("DTSTART:" + stamp(start));
    if (end != start) out += ical_line("DTEND:" + stamp(end));
    if (!by_day.empty()) out += ical_line("RRULE:FREQ=WEEKLY;BYDAY=" + by_day);
    out += ical_line("SUMMARY:" + ical_text(summary));
    out += ical_line("END:VEVENT");
}

}  // namespace

std::string ical_text(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' || c == ';' || c == ',') {
            out += '\\';
            out += c;
        } else if (c == '\n' || c == '\r') {
            out += "\\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            const auto u = static_cast<unsigned char>(c);
            out += (u < 0x20 && c != '\t') || u == 0x7F ? ' ' : c;
        }
    }
    return utf8_from_1252(out);
}

std::string ical_line(const std::string& line) {
    std::string out;
    std::size_t at = 0, room = kMaxOctets;
    while (line.size() - at > room) {
        std::size_t cut = at + room;
        // Back to the first byte of a character; continuation bytes are 10xxxxxx.
        while (cut > at + 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        out += line.substr(at, cut - at) + "\r\n ";
        at = cut;
        room = kMaxOctets - 1;  // the blank that begins a continuation counts
    }
    return out + line.substr(at) + "\r\n";
}

std::string timer_calendar(const std::vector<ListedTimer>& timers, const std::string (&stations)[kStationCount],
                           const LocalTime& now, const std::string& device_id, const std::string& zone) {
    const long long today = civil_seconds(now.year, now.month, now.day, 0, 0, 0);
    const long long now_utc =
        civil_seconds(now.year, now.month, now.day, now.hour, now.minute, now.second) - now.utc_offset_min * 60LL;
    std::string out = ical_line("BEGIN:VCALENDAR") + ical_line("VERSION:2.0") +
                      ical_line("PRODID:-//Zendrill//zendrilld " ZD_VERSION_TEXT "//DE") +
                      ical_line("CALSCALE:GREGORIAN") + ical_line("METHOD:PUBLISH") +
                      ical_line("X-WR-CALNAME:B203 Timer");
    // A zone name is ASCII; anything else is no zone name.
    if (!zone.empty() && zone.size() <= 64 &&
        zone.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/_+-") == std::string::npos)
        out += ical_line("X-WR-TIMEZONE:" + zone);
    for (const ListedTimer& t : timers) {
        TimerTimes times;
        if (timer_times(t, times)) event(out, t, times, today, now_utc, device_id, timer_summary(t, stations));
    }
    return out + ical_line("END:VCALENDAR");
}

}  // namespace zd
