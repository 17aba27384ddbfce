#pragma once
#include <string>

namespace zd {

// The device's forms of a date and a time: DDMMYY (two-digit year) and HHMMSS.
std::string date_ddmmyy(int day, int month, int year);
std::string time_hhmmss(int hour, int minute, int second);

// Six digits HHMMSS with hour 00-23, minute and second 00-59.
bool is_real_time(const std::string& hhmmss);
// Six digits DDMMYY naming a day that exists; the year is 20YY.
bool is_real_date(const std::string& ddmmyy);
// The day after (days = 1) or before (days = -1) a real DDMMYY date; the
// year stays within the century (311299 is followed by 010100).
std::string shift_date(const std::string& ddmmyy, int days);

// A time one hour later or earlier, with whether it crossed midnight.
struct HourShift {
    std::string time;  // HHMMSS
    bool crossed_midnight = false;  // from hour 23 forward or from hour 0 back
};
// `forward` adds an hour, else subtracts one. The hour is the leading
// number of the first two characters; above 23 forward gives 0, below 0
// back gives 23; it is written with a "0" in front below 10. Minutes and
// seconds are kept as they are.
HourShift shift_hour(const std::string& hhmmss, bool forward);

// Seconds since 1 January 2000 00:00:00 of a civil date and time, for
// comparing two clocks across midnight, month and year ends.
long long civil_seconds(int year, int month, int day, int hour, int minute, int second);
// A civil date and time as civil_seconds counts it, and back.
struct CivilTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
CivilTime civil_time(long long seconds);
// The day of the week of a civil_seconds count, 0 Sunday to 6 Saturday, as
// a timer record orders its day flags.
int civil_weekday(long long seconds);
// The device clock of a status record ("20" + YY, DDMMYY, HHMMSS) in the
// same count; false when the record holds no real date and time.
bool record_civil_seconds(const std::string& record, long long& seconds);

}  // namespace zd
