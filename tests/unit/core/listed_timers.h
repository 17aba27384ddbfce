#pragma once
#include <string>

#include "core/timer_text.h"
#include "platform/system.h"

namespace zd::test {

// Timer n as a front end holds it after reading `record` ("" for an empty timer).
inline ListedTimer read_as(int n, const std::string& record) {
    ListedTimer t;
    t.timer = n;
    t.fields.number = std::to_string(n);
    t.reading.last_reply = own_reply(t.fields.number, record.empty() ? "E" : record);
    parse_timer_reply(t.fields, t.reading.last_reply);
    t.reading.state = timer_state(t.reading.last_reply);
    t.reading.record = record;
    return t;
}

// A local time in December 2026; the 10th is a Thursday.
inline LocalTime december(int day, int hour, int minute, int second, int utc_offset_min = 60) {
    LocalTime t;
    t.year = 2026, t.month = 12, t.day = day, t.hour = hour, t.minute = minute, t.second = second;
    t.utc_offset_min = utc_offset_min;
    return t;
}

}  // namespace zd::test
