#pragma once
#include <string>
#include <vector>

#include "core/config.h"
#include "core/timer_text.h"
#include "platform/system.h"

// The timers as an iCalendar feed (RFC 5545) that a calendar can subscribe to.
namespace zd {

// UTF-8 with CRLF line ends. A set weekday timer is a weekly event from its
// first day on or after today, a set dated timer one event, with the
// overview line as SUMMARY; a timer that is not set, or set on no day,
// gives none. Times are floating local times, as the device knows no time
// zone; an end before the start is on the next day, and a timer whose end
// is its start has no DTEND (an event without length). The UID stays while
// the timer's record does. `now` gives today, and DTSTAMP in UTC by its
// offset. `zone`, an IANA name such as "Europe/Berlin", is announced as
// X-WR-TIMEZONE when not empty, for calendars that would read floating
// times as UTC.
std::string timer_calendar(const std::vector<ListedTimer>& timers, const std::string (&stations)[kStationCount],
                           const LocalTime& now, const std::string& device_id, const std::string& zone = "");

// A TEXT value from Windows-1252 in UTF-8, with \ ; , and line ends escaped
// and other control characters as blanks.
std::string ical_text(const std::string& cp1252);
// A content line (UTF-8) folded after 75 octets, never inside a character,
// each piece ended by CRLF.
std::string ical_line(const std::string& utf8);

}  // namespace zd
