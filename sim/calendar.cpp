#include "sim/calendar.h"

namespace zd::sim {

namespace {

int two(const std::string& text, std::size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

std::string pad2(long long v) {
    std::string s;
    s.push_back(static_cast<char>('0' + v / 10));
    s.push_back(static_cast<char>('0' + v % 10));
    return s;
}

bool is_leap(int yy) { return yy % 4 == 0; }  // 2000 is a leap year, 2100 lies outside

int days_in_month(int month, int yy) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && is_leap(yy)) return 29;
    return kDays[month - 1];
}

long long wrap(long long v, long long m) {
    v %= m;
    return v < 0 ? v + m : v;
}

}  // namespace

bool is_digits(const std::string& text, std::size_t n) {
    if (text.size() != n) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool is_valid_date(const std::string& ddmmyy) {
    if (!is_digits(ddmmyy, 6)) return false;
    const int day = two(ddmmyy, 0), month = two(ddmmyy, 2), yy = two(ddmmyy, 4);
    if (month < 1 || month > 12) return false;
    return day >= 1 && day <= days_in_month(month, yy);
}

bool is_valid_time(const std::string& hhmmss) {
    return is_digits(hhmmss, 6) && is_valid_hhmm(hhmmss.substr(0, 4)) && two(hhmmss, 4) <= 59;
}

bool is_valid_hhmm(const std::string& hhmm) {
    return is_digits(hhmm, 4) && two(hhmm, 0) <= 23 && two(hhmm, 2) <= 59;
}

long long day_number(const std::string& ddmmyy) {
    const int day = two(ddmmyy, 0), month = two(ddmmyy, 2), yy = two(ddmmyy, 4);
    long long n = 0;
    for (int y = 0; y < yy; ++y) n += is_leap(y) ? 366 : 365;
    for (int m = 1; m < month; ++m) n += days_in_month(m, yy);
    return n + day - 1;
}

std::string date_text(long long day) {
    day = wrap(day, kDaysPerCentury);
    int yy = 0;
    while (day >= (is_leap(yy) ? 366 : 365)) {
        day -= is_leap(yy) ? 366 : 365;
        ++yy;
    }
    int month = 1;
    while (day >= days_in_month(month, yy)) {
        day -= days_in_month(month, yy);
        ++month;
    }
    return pad2(day + 1) + pad2(month) + pad2(yy);
}

long long moment_ms(const std::string& ddmmyy, const std::string& hhmmss) {
    const long long secs = two(hhmmss, 0) * 3600LL + two(hhmmss, 2) * 60LL + two(hhmmss, 4);
    return day_number(ddmmyy) * kMsPerDay + secs * 1000;
}

std::string date_of(long long ms) { return date_text(wrap(ms, kMsPerCentury) / kMsPerDay); }

std::string time_of(long long ms) {
    const long long secs = wrap(ms, kMsPerCentury) % kMsPerDay / 1000;
    return pad2(secs / 3600) + pad2(secs / 60 % 60) + pad2(secs % 60);
}

}  // namespace zd::sim
