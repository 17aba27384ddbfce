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

namespace {

long long floor_div(long long a, long long b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

}  // namespace

CivilTime civil_time(long long seconds) {
    // The steps of civil_seconds backwards.
    const long long days = floor_div(seconds, 86400), rest = seconds - days * 86400;
    const long long z = days + 730425;
    const long long era = floor_div(z, 146097);
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

int civil_weekday(long long seconds) {
    // 1 January 2000 was a Saturday.
    return static_cast<int>((floor_div(seconds, 86400) % 7 + 13) % 7);
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
