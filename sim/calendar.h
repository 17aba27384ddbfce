#pragma once
#include <string>

// Date and time arithmetic of the device clock. The device knows two-digit
// years only, so its calendar is the century 2000-2099, which repeats:
// 31.12.99 is followed by 01.01.00.
namespace zd::sim {

constexpr long long kMsPerDay = 86400LL * 1000;
constexpr long long kDaysPerCentury = 36525;  // 2000-2099: 25 leap years
constexpr long long kMsPerCentury = kDaysPerCentury * kMsPerDay;

// True for exactly `n` decimal digits.
bool is_digits(const std::string& text, std::size_t n);
// "DDMMYY" naming a real day of 2000-2099.
bool is_valid_date(const std::string& ddmmyy);
// "HHMMSS" with hours 00-23, minutes and seconds 00-59.
bool is_valid_time(const std::string& hhmmss);
// "HHMM" with hours 00-23, minutes 00-59.
bool is_valid_hhmm(const std::string& hhmm);

// Day 0 is 01.01.00. The text must be a valid date.
long long day_number(const std::string& ddmmyy);
// Any day number, wrapped into the century.
std::string date_text(long long day);

// Milliseconds since 01.01.00 00:00:00 for a valid date and time.
long long moment_ms(const std::string& ddmmyy, const std::string& hhmmss);
// Wraps `ms` into the century and splits it.
std::string date_of(long long ms);
std::string time_of(long long ms);

}  // namespace zd::sim
