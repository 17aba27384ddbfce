#include <gtest/gtest.h>

#include "core/ical.h"
#include "tests/unit/core/listed_timers.h"

namespace zd::test {
namespace {

std::string lines(std::initializer_list<const char*> list) {
    std::string out;
    for (const char* l : list) out += std::string(l) + "\r\n";
    return out;
}

TEST(Ical, TextIsEscapedAndInUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"WDR 2; Köln, \\ Süd", u8"WDR 2\\; Köln\\, \\\\ Süd"},
        {"Zeile 1\nZeile 2\r\nZeile 3\rEnde", u8"Zeile 1\\nZeile 2\\nZeile 3\\nEnde"},
        {"Tab\tBEL\x07" "DEL\x7F" "€", u8"Tab\tBEL DEL €"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(ical_text(in), out) << in;
}

TEST(Ical, LinesAreFoldedAfter75OctetsBetweenCharacters) {
    const std::string a73(73, 'a'), a74(74, 'a'), a75(75, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {a75, a75 + "\r\n"},
        {a75 + "b", a75 + "\r\n b\r\n"},
        {a74 + u8"äb", a74 + u8"\r\n äb\r\n"},
        {a73 + u8"€", a73 + u8"\r\n €\r\n"},
        {a75 + a74 + "bc", a75 + "\r\n " + a74 + "\r\n bc\r\n"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(ical_line(in), out) << in;
}

TEST(Ical, WeeklyDatedAndMidnightCrossingTimers) {
    const std::vector<ListedTimer> timers = {
        read_as(1, "W01111100050010063000071500"),  // Mo-Fr 06:30-07:15
        read_as(2, "D1012261030001230000013000"),   // today 23:00 until 01:30
        read_as(3, "W00010002000100220000070000"),  // Wednesdays 22:00 until 07:00
        read_as(4, "W00001114000010063000063000"),  // Do-Sa, on and off at 06:30
        read_as(5, ""),
        read_as(5, "W00000000000010063000071500"),  // on no day
    };
    std::string stations[kStationCount];
    stations[5] = "WDR 2; Köln, \\ Süd";
    EXPECT_EQ(timer_calendar(timers, stations, december(10, 6, 45, 30), "b203", "Europe/Berlin"),
              lines({"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Zendrill//zendrilld 1.0.0//DE", "CALSCALE:GREGORIAN",
                     "METHOD:PUBLISH", "X-WR-CALNAME:B203 Timer", "X-WR-TIMEZONE:Europe/Berlin",
                     "BEGIN:VEVENT", "UID:timer-1-W01111100050010063000071500@zendrill-b203",
                     "DTSTAMP:20261210T054530Z", "DTSTART:20261210T063000", "DTEND:20261210T071500",
                     "RRULE:FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR",
                     "SUMMARY:NR.1 Tage: Mo Di Mi Do Fr Zeit: 06:30 - 07:15 Uhr Quelle: Tuner 05 ",
                     u8" Ziel: LS-A (WDR 2\\; Köln\\, \\\\ Süd)", "END:VEVENT",
                     "BEGIN:VEVENT", "UID:timer-2-D1012261030001230000013000@zendrill-b203",
                     "DTSTAMP:20261210T054530Z", "DTSTART:20261210T230000", "DTEND:20261211T013000",
                     "SUMMARY:NR.2 Datum: 10.12.2026 Zeit: 23:00 - 01:30 Uhr Quelle: CD 03 Ziel: ",
                     " LS-B", "END:VEVENT",
                     "BEGIN:VEVENT", "UID:timer-3-W00010002000100220000070000@zendrill-b203",
                     "DTSTAMP:20261210T054530Z", "DTSTART:20261216T220000", "DTEND:20261217T070000",
                     "RRULE:FREQ=WEEKLY;BYDAY=WE",
                     "SUMMARY:NR.3 Tage: Mi Zeit: 22:00 - 07:00 Uhr Quelle: Tape1 Ziel: Tape2", "END:VEVENT",
                     "BEGIN:VEVENT", "UID:timer-4-W00001114000010063000063000@zendrill-b203",
                     "DTSTAMP:20261210T054530Z", "DTSTART:20261210T063000", "RRULE:FREQ=WEEKLY;BYDAY=TH,FR,SA",
                     "SUMMARY:NR.4 Tage: Do Fr Sa Zeit: 06:30 - 06:30 Uhr Quelle: Phono Ziel: LS-", " A",
                     "END:VEVENT", "END:VCALENDAR"}));
}

TEST(Ical, StampInUtcAndNoZoneWithoutAName) {
    std::string stations[kStationCount];
    const std::string feed = timer_calendar({read_as(2, "D0101273000000070000080000")}, stations,
                                            december(31, 23, 30, 0, -300), "b203", "Europe/Berlin\r\nX");
    EXPECT_EQ(feed, lines({"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Zendrill//zendrilld 1.0.0//DE",
                           "CALSCALE:GREGORIAN", "METHOD:PUBLISH", "X-WR-CALNAME:B203 Timer", "BEGIN:VEVENT",
                           "UID:timer-2-D0101273000000070000080000@zendrill-b203", "DTSTAMP:20270101T043000Z",
                           "DTSTART:20270101T070000", "DTEND:20270101T080000",
                           "SUMMARY:NR.2 Datum: 01.01.2027 Zeit: 07:00 - 08:00 Uhr Quelle: Tape2 Ziel:", "END:VEVENT",
                           "END:VCALENDAR"}));
}

}  // namespace
}  // namespace zd::test
