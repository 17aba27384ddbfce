#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/timer_record.h"
#include "tests/fakes/fake_port.h"

namespace zd::test {
namespace {

TimerFields fields_for(const std::string& number) {
    TimerFields f;
    f.number = number;
    f.date = "081226";
    return f;
}

// The fields after timer `number` answered with its own reply holding `record`.
TimerFields parsed_own_reply(const std::string& number, const std::string& record) {
    TimerFields f = fields_for(number);
    std::string reply = own_reply(number, record);
    parse_timer_reply(f, reply);
    return f;
}

// Kind, source, station, targets, start, end.
std::vector<std::string> settings_of(const TimerFields& f) {
    return {f.kind, f.source, f.station, f.targets, f.start, f.end};
}

TEST(ParseTimerReply, WeekdayWorkedExample) {
    TimerFields f = fields_for("3");
    std::string reply = "05003W01010101050011063000071500";
    parse_timer_reply(f, reply);
    EXPECT_EQ(reply, "05003W01010101050011063000071500");
    EXPECT_EQ(f.number, "3");
    EXPECT_EQ(settings_of(f), (std::vector<std::string>{"W", "1", "05", "0011", "0630", "0715"}));
    const char* days[7] = {"0", "1", "0", "1", "0", "1", "0"};
    for (int d = 0; d < 7; ++d) EXPECT_EQ(f.days[d], days[d]) << d;
    EXPECT_EQ(f.day_list, "Mo Mi Fr ");
    EXPECT_EQ(f.date, "081226");  // a weekday record keeps the date
}

TEST(ParseTimerReply, DateWorkedExampleIsNormalised) {
    TimerFields f = fields_for("2");
    std::string reply = "05002D2403060121000200000213000";
    parse_timer_reply(f, reply);
    EXPECT_EQ(reply, "05002D240306 0121000200000213000");
    EXPECT_EQ(settings_of(f), (std::vector<std::string>{"D", "0", "12", "1000", "2000", "2130"}));
    EXPECT_EQ(f.date, "240306");
    EXPECT_EQ(f.days[kSaturday], " ");
    EXPECT_EQ(f.days[kSunday], "2");
}

TEST(ParseTimerReply, FailuresEmptyTheReplyAndKeepTheFields) {
    struct Case {
        const char* number;
        const char* reply;
        const char* after;
    } cases[] = {
        {"4", "05003W01010101050011063000071500", ""},  // another timer
        {"3", "0500", ""},                              // no position 5
        {"3", "", ""},                                  // time-out
        {"3", "05003W0101010105001106300007150", ""},   // 31 chars: decoded
        {"3", "05003W010101010500110630000", ""},       // 27 chars: too short, a failure
        {"3", "05003W01010101050011063000071", ""},     // 29 chars: still too short
        {"3", "05003E", "05003E"},                      // empty timer
        {"3", "0C033E", "0C033E"},
    };
    for (const auto& c : cases) {
        TimerFields f = fields_for(c.number);
        f.kind = "W";
        f.source = "2";
        f.day_list = "So ";
        std::string reply = c.reply;
        parse_timer_reply(f, reply);
        if (std::string(c.reply).size() == 31) {
            EXPECT_EQ(f.kind, "W") << c.reply;
            continue;
        }
        EXPECT_EQ(reply, c.after) << c.reply;
        EXPECT_EQ(f.source, "2") << c.reply;
        EXPECT_EQ(f.day_list, "") << c.reply;
    }
}

TEST(BuildTimerRecord, WeekdayAndDate) {
    TimerFields f = parsed_own_reply("2", "W01010100050010063000071500");
    build_timer_record(f);
    EXPECT_EQ(f.record, "W01010100050010063000071500");

    f.kind = "D";
    f.date = "10306";
    build_timer_record(f);
    EXPECT_EQ(f.record.substr(0, 7), "D010306");
    EXPECT_EQ(f.record.size(), 26u);
}

TEST(BuildTimerRecord, RoundTripsForBothKinds) {
    const struct {
        const char* number;
        const char* record;
    } cases[] = {{"1", kDefaultRecord},
                 {"5", "W10000011429000112300002300"},
                 {"5", "D2402280313110007400008100"},
                 {"5", "W01111100200100000000000100"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record);
        TimerFields f = parsed_own_reply(c.number, c.record);
        build_timer_record(f);
        EXPECT_EQ(f.record, c.record);
    }
}

TEST(BuildTimerRecord, FlagsAfterADateRecordBecomeClear) {
    TimerFields f = parsed_own_reply("1", "D1101270000001000000000100");
    f.kind = "W";
    build_timer_record(f);
    // Date digits "110127" and the blank: only the "1"s count as set.
    EXPECT_EQ(f.record.substr(0, 8), "W1101000");
}

TEST(WellFormedRecord, Cases) {
    EXPECT_TRUE(is_well_formed_record(kDefaultRecord));
    EXPECT_TRUE(is_well_formed_record("D2403060121000200000213000"));
    EXPECT_FALSE(is_well_formed_record("W2403060121000200000213000"));  // 26 chars, "W"
    EXPECT_FALSE(is_well_formed_record("D00000000000000000000000000"));  // 27 chars, "D"
    EXPECT_FALSE(is_well_formed_record(""));
}

struct ReadTimer : ::testing::Test {
    VirtualClock clock;
    FakePort port{clock};
    DeviceLink link{&port, &clock};
    TimerFields f;
};

TEST_F(ReadTimer, SendsTheReadCommandAfterDiscarding) {
    port.arrive(0, "stale\r\n");
    port.on_write = [&](const std::string&) { port.arrive_after(50, "05005E\r\n"); };
    EXPECT_EQ(read_timer(link, f, 5), "05005E");
    EXPECT_EQ(port.written(), "0C05\r");
    EXPECT_EQ(f.number, "5");
}

TEST_F(ReadTimer, SilentDeviceCostsFourSeconds) {
    EXPECT_EQ(read_timer(link, f, 1), "");
    EXPECT_EQ(clock.now, 4000);
}

}  // namespace
}  // namespace zd::test
