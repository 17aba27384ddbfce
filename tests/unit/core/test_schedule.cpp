#include <gtest/gtest.h>

#include "core/json_objects.h"
#include "core/schedule.h"
#include "tests/unit/core/listed_timers.h"

namespace zd::test {
namespace {

// Thursday 10 December 2026 is today in every case.
const std::vector<ListedTimer> kTimers = {
    read_as(1, "W01111100050010063000071500"),  // Mo-Fr 06:30-07:15
    read_as(2, "D1012261030001230000013000"),   // the evening of today until 01:30
    read_as(3, "W00010002000100220000070000"),  // Wednesdays 22:00 until 07:00
    read_as(4, "W00001114000010063000063000"),  // Do-Sa, switched on and off at 06:30
    read_as(5, ""),                             // empty
    read_as(3, "W00001115000001"),              // too short: not a timer that runs
};

TEST(Schedule, RunsFromNowToTheEndOfTheLastDayInTimeOrder) {
    struct Case {
        LocalTime now;
        int days;
        std::vector<std::string> runs;
    } cases[] = {
        {december(10, 6, 45, 30), 2,
         {"3 2026-12-09T22:00 2026-12-10T07:00", "1 2026-12-10T06:30 2026-12-10T07:15",
          "2 2026-12-10T23:00 2026-12-11T01:30", "1 2026-12-11T06:30 2026-12-11T07:15",
          "4 2026-12-11T06:30 2026-12-11T06:30"}},
        {december(10, 6, 45, 30), 1,
         {"3 2026-12-09T22:00 2026-12-10T07:00", "1 2026-12-10T06:30 2026-12-10T07:15",
          "2 2026-12-10T23:00 2026-12-11T01:30"}},
        // Ending at this minute is over; starting at it is not.
        {december(10, 7, 15, 59), 1, {"2 2026-12-10T23:00 2026-12-11T01:30"}},
        {december(10, 6, 30, 0), 1,
         {"3 2026-12-09T22:00 2026-12-10T07:00", "1 2026-12-10T06:30 2026-12-10T07:15",
          "4 2026-12-10T06:30 2026-12-10T06:30", "2 2026-12-10T23:00 2026-12-11T01:30"}},
        {december(10, 6, 30, 0), 0, {}},
        {december(10, 6, 30, 0), 32, {}},
    };
    std::string stations[kStationCount];
    for (const auto& c : cases) {
        std::vector<std::string> runs;
        for (const ScheduleEntry& e : timer_schedule(kTimers, c.now, c.days, stations))
            runs.push_back(std::to_string(e.timer) + " " + iso_minute(e.start) + " " + iso_minute(e.end));
        EXPECT_EQ(runs, c.runs) << c.now.hour << ":" << c.now.minute << " " << c.days;
    }
}

TEST(Schedule, ThirtyOneDaysReachIntoTheNextYearWithTheOverviewLine) {
    std::string stations[kStationCount];
    stations[5] = "WDR ä";
    const auto entries = timer_schedule(kTimers, december(10, 8, 0, 0), 31, stations);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().summary, "NR.2 Datum: 10.12.2026 Zeit: 23:00 - 01:30 Uhr Quelle: CD 03 Ziel: LS-B");
    EXPECT_EQ(entries[1].summary, "NR.1 Tage: Mo Di Mi Do Fr Zeit: 06:30 - 07:15 Uhr Quelle: Tuner 05 Ziel: LS-A (WDR ä)");
    EXPECT_EQ(iso_minute(entries.back().start), "2027-01-09T06:30");
    EXPECT_EQ(entries.size(), 1u + 21 + 4 + 14);  // the date, Mo-Fr, Wednesdays, Do-Sa
    EXPECT_EQ(schedule_object({entries[1]}).dump(),
              u8R"({"entries":[{"timer":1,"start":"2026-12-11T06:30","end":"2026-12-11T07:15",)"
              u8R"j("summary":"NR.1 Tage: Mo Di Mi Do Fr Zeit: 06:30 - 07:15 Uhr Quelle: Tuner 05 Ziel: LS-A (WDR ä)"}]})j");
}

TEST(Schedule, DaysAreOneToThirtyOne) {
    const std::pair<std::string, int> cases[] = {{"1", 1}, {"7", 7}, {"31", 31}, {"0", 0}, {"32", 0},
                                                 {"", 0},  {"7x", 0}, {"+7", 0},  {"007", 0}, {" 7", 0}};
    for (const auto& [text, days] : cases) {
        std::string problem;
        EXPECT_EQ(schedule_days(text, problem), days) << text;
        EXPECT_EQ(problem.empty(), days != 0) << text;
    }
    std::string problem;
    schedule_days("7\x1B", problem);
    EXPECT_EQ(problem, "days: \"7<0x1B>\" ist keine Zahl von 1 bis 31");
}

}  // namespace
}  // namespace zd::test
