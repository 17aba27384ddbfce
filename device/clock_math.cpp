#include "device/clock_math.h"

#include "device/text_util.h"

namespace zd {

namespace {

bool all_digits(const std::string& s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int number_at(const std::string& s, std::size_t pos) {
    return static_cast<int>(leading_number(s.substr(pos, 2)));
}

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int month, int year) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && is_leap_year(year)) return 29;
    return days[month - 1];
}

}  // namespace

bool is_real_time(const std::string& t) {
    if (t.size() != 6 || !all_digits(t)) return false;
    return number_at(t, 0) <= 23 && number_at(t, 2) <= 59 && number_at(t, 4) <= 59;
}

bool is_real_date(const std::string& d) {
    if (d.size() != 6 || !all_digits(d)) return false;
    const int day = number_at(d, 0), month = number_at(d, 2), year = 2000 + number_at(d, 4);
    if (month < 1 || month > 12) return false;
    return day >= 1 && day <= days_in_month(month, year);
}

std::string shift_date(const std::string& d, int days) {
    int day = number_at(d, 0), month = number_at(d, 2), year = 2000 + number_at(d, 4);
    if (days > 0) {
        if (++day > days_in_month(month, year)) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    } else if (days < 0) {
        if (--day < 1) {
            if (--month < 1) {
                month = 12;
                --year;
            }
            day = days_in_month(month, year);
        }
    }
    return date_ddmmyy(day, month, year);
}

HourShift shift_hour(const std::string& t, bool forward) {
    const int before = static_cast<int>(leading_number(t.substr(0, 2)));
    int hour = forward ? before + 1 : before - 1;
    if (forward && hour > 23) hour = 0;
    if (!forward && hour < 0) hour = 23;
    HourShift r;
    r.crossed_midnight = forward ? before == 23 : before == 0;
    r.time = (hour < 10 ? "0" : "") + std::to_string(hour) + (t.size() > 2 ? t.substr(2, 4) : std::string());
    return r;
}

long long civil_seconds(int year, int month, int day, int hour, int minute, int second) {
    // Days from the civil calendar, March-based so the leap day ends a year.
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = static_cast<long long>(era) * 146097 + doe - 730425;  // 730425: 1 Jan 2000
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

bool record_civil_seconds(const std::string& record, long long& seconds) {
    if (record.size() < 15) return false;
    const std::string date = record.substr(3, 6), time = record.substr(9, 6);
    if (!is_real_date(date) || !is_real_time(time)) return false;
    seconds = civil_seconds(2000 + number_at(date, 4), number_at(date, 2), number_at(date, 0), number_at(time, 0),
                            number_at(time, 2), number_at(time, 4));
    return true;
}

std::string date_ddmmyy(int day, int month, int year) {
    return two_digit(day) + two_digit(month) + two_digit(((year % 100) + 100) % 100);
}

std::string time_hhmmss(int hour, int minute, int second) {
    return two_digit(hour) + two_digit(minute) + two_digit(second);
}

}  // namespace zd
