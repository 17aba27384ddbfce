#include <gtest/gtest.h>

#include <vector>

#include "device/clock_math.h"

namespace zd::test {
namespace {

TEST(ClockMath, CivilTimeUndoesCivilSecondsAndNamesTheWeekday) {
    struct Case {
        CivilTime t;
        int weekday;  // 0 Sunday
    } cases[] = {
        {{2000, 1, 1, 0, 0, 0}, 6},       {{1999, 12, 31, 23, 59, 59}, 5}, {{2000, 2, 29, 12, 0, 0}, 2},
        {{2000, 3, 1, 0, 0, 1}, 3},       {{2026, 12, 10, 6, 30, 0}, 4},   {{2026, 12, 31, 23, 59, 59}, 4},
        {{2027, 1, 1, 0, 0, 0}, 5},       {{2099, 12, 31, 8, 15, 30}, 4},  {{2100, 3, 1, 0, 0, 0}, 1},
        {{1970, 1, 1, 0, 0, 0}, 4},       {{2024, 2, 29, 23, 0, 0}, 4},    {{2026, 3, 29, 2, 30, 0}, 0},
    };
    for (const auto& c : cases) {
        const long long s = civil_seconds(c.t.year, c.t.month, c.t.day, c.t.hour, c.t.minute, c.t.second);
        const CivilTime back = civil_time(s);
        EXPECT_EQ(std::vector<int>({back.year, back.month, back.day, back.hour, back.minute, back.second}),
                  std::vector<int>({c.t.year, c.t.month, c.t.day, c.t.hour, c.t.minute, c.t.second}))
            << s;
        EXPECT_EQ(civil_weekday(s), c.weekday) << s;
    }
}

}  // namespace
}  // namespace zd::test
