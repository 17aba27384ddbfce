#include <gtest/gtest.h>

#include <vector>

#include "sim/calendar.h"
#include "sim/model.h"

namespace zd::sim {
namespace {

const std::string kWeek = "W01010101050011063000071500";
const std::string kDate = "D240306012100020000021300";  // 25: one short
const std::string kDateOk = "D2403060121000200000213000";
const std::string kBel = "\x07";

struct ModelTest : ::testing::Test {
    ManualTimeSource time;
    Model model{time};
    void SetUp() override {
        ASSERT_TRUE(model.set_date("150407"));
        ASSERT_TRUE(model.set_time("183045"));
        ASSERT_TRUE(model.set_settings("1200"));
        ASSERT_TRUE(model.set_device(3, "05"));
    }
};

struct Exchange {
    const char* command;
    bool answered;
    const char* reply;
};

TEST_F(ModelTest, AnswersEveryKnownCommand) {
    const Exchange table[] = {
        {"0X", true, "0X:15040718304512000"},
        {"0C01", true, "0C011E"},
        {"0C05", true, "0C055E"},
        {"0S2104", true, "OK"},
        {"0T120000", true, "OK"},
        {"0D010100", true, "OK"},
        {"0R1", true, "OK"},
        {"0R0", true, "OK"},
        {"3X", true, "305"},
    };
    for (const auto& row : table) {
        const Answer a = model.handle_line(row.command);
        EXPECT_EQ(a.has_line, row.answered) << row.command;
        EXPECT_EQ(a.line, row.reply) << row.command;
    }
}

TEST_F(ModelTest, UnknownCommandsAndOtherAddressesGetNoAnswer) {
    for (const char* command : {"", "X", "0", "0Q", "0x", "0XX", " 0X", "0C0", "0C00", "0C06", "0C011", "0C1",
                                "4X", "3S1200", "3X1", "9X", "0V", "AX"}) {
        const Answer a = model.handle_line(command);
        EXPECT_FALSE(a.has_line) << '"' << command << '"';
    }
}

TEST_F(ModelTest, SetCommandsWithInvalidArgumentsAreIgnored) {
    for (const char* command : {"0S3000", "0S0300", "0S0020", "0S0005", "0S120", "0S12000", "0Sa200", "0S"}) {
        EXPECT_FALSE(model.handle_line(command).has_line) << command;
    }
    EXPECT_EQ(model.settings(), "1200");
    for (const char* command : {"0T240000", "0T126000", "0T120060", "0T1200", "0T12000a", "0T"}) {
        EXPECT_FALSE(model.handle_line(command).has_line) << command;
    }
    EXPECT_EQ(model.time(), "183045");
    for (const char* command : {"0D290223", "0D310424", "0D000124", "0D011324", "0D010024", "0D0101", "0D"}) {
        EXPECT_FALSE(model.handle_line(command).has_line) << command;
    }
    EXPECT_EQ(model.date(), "150407");
    for (const char* command : {"0R2", "0R", "0R00", "0R01"}) {
        EXPECT_FALSE(model.handle_line(command).has_line) << command;
    }
    EXPECT_EQ(model.ir(), '0');
}

TEST_F(ModelTest, SetCommandsChangeTheState) {
    model.handle_line("0S2141");  // timer 4 is out of range
    EXPECT_EQ(model.settings(), "1200");
    model.handle_line("0S2114");
    EXPECT_EQ(model.settings(), "2114");
    model.handle_line("0R1");
    EXPECT_EQ(model.ir(), '1');
    model.handle_line("0T070809");
    EXPECT_EQ(model.time(), "070809");
    EXPECT_EQ(model.date(), "150407");
    model.handle_line("0D290224");
    EXPECT_EQ(model.date(), "290224");
    EXPECT_EQ(model.time(), "070809");
    EXPECT_EQ(model.status_record(), "0X:29022407080921141");
}

TEST_F(ModelTest, TimerWriteReadAndErase) {
    EXPECT_EQ(model.handle_line("0E03" + kWeek).line, "OK");
    EXPECT_EQ(model.timer(3), kWeek);
    EXPECT_EQ(model.handle_line("0C03").line, "0C033" + kWeek);
    EXPECT_EQ(model.handle_line("0C03").line.size(), 32u);
    EXPECT_EQ(model.handle_line("0E02" + kDateOk).line, "OK");
    EXPECT_EQ(model.handle_line("0C02").line, "0C022" + kDateOk);
    EXPECT_EQ(model.handle_line("0C02").line.size(), 31u);
    EXPECT_EQ(model.handle_line("0E03E").line, "OK");
    EXPECT_EQ(model.timer(3), "");
    EXPECT_EQ(model.handle_line("0C03").line, "0C033E");
    EXPECT_EQ(model.timer(2), kDateOk);
}

TEST_F(ModelTest, InvalidTimerWritesAreRefusedWithBel) {
    const std::string bad[] = {
        kDate,                                  // 25 characters
        "W0101010105001106300007150",           // 26 characters with W
        "D24030601210002000002130000",          // 27 characters with D
        "X01010101050011063000071500",          // unknown kind
        "W01210101050011063000071500",          // day flag 2
        "D3002060121000200000213000",           // 30 February
        "D2413060121000200000213000",           // month 13
        "W01010105050011063000071500",          // source 5
        "W01010101300011063000071500",          // station 30
        "W010101010a0011063000071500",          // station not digits
        "W01010101050021063000071500",          // target flag 2
        "W01010101050011240000071500",          // start 24:00
        "W01010101050011066000071500",          // start minute 60
        "W01010101050011063001071500",          // start seconds not 00
        "W01010101050011063000240000",          // end 24:00
        "W01010101050011063000071510",          // end seconds not 00
        "",                                     // nothing
    };
    for (const auto& record : bad) {
        const Answer a = model.handle_line("0E01" + record);
        EXPECT_TRUE(a.has_line) << record;
        EXPECT_EQ(a.line, kBel) << record;
        EXPECT_EQ(model.timer(1), "") << record;
    }
    for (const std::string& command : std::vector<std::string>{"0E0", "0E06" + kWeek, "0E00" + kWeek, "0E06E", "0E0E"}) {
        EXPECT_EQ(model.handle_line(command).line, kBel) << command;
    }
}

TEST_F(ModelTest, AllBoundaryValuesOfARecordAreAccepted) {
    for (const std::string& record : std::vector<std::string>{"W11111114291111235900235900", "W00000000000000000000000000",
                                     "D2902240000000000000000000", "D3112994291111235900235900"}) {
        EXPECT_TRUE(is_valid_timer_record(record)) << record;
    }
    EXPECT_FALSE(is_valid_timer_record("W11111114291111235900235900 "));
}

TEST_F(ModelTest, TimerTestIsRecordedAndAcknowledged) {
    const Answer a = model.handle_line("0V02" + kWeek);
    EXPECT_EQ(a.line, "OK");
    EXPECT_EQ(a.event, "test timer 2 " + kWeek);
    ASSERT_EQ(model.tests_run().size(), 1u);
    EXPECT_EQ(model.tests_run()[0], "2:" + kWeek);
    EXPECT_EQ(model.timer(2), "");  // a test stores nothing
    EXPECT_EQ(model.handle_line("0V02" + kDate).line, kBel);
    EXPECT_EQ(model.handle_line("0V07" + kWeek).line, kBel);
}

TEST_F(ModelTest, WithoutAcknowledgementSetCommandsAnswerNothing) {
    model.options().ack.clear();
    for (const std::string& command : std::vector<std::string>{"0S0000", "0T000000", "0D010101", "0R1", "0E01" + kWeek, "0E01E",
                                      "0V01" + kWeek}) {
        EXPECT_FALSE(model.handle_line(command).has_line) << command;
    }
    EXPECT_EQ(model.settings(), "0000");
    EXPECT_EQ(model.handle_line("0E01" + kDate).line, kBel);
    EXPECT_EQ(model.handle_line("0X").line.size(), 20u);
}

TEST_F(ModelTest, RefusedWritesChangeNothing) {
    model.set_timer(4, kWeek);
    model.options().refuse_writes = true;
    EXPECT_EQ(model.handle_line("0E04" + kDateOk).line, kBel);
    EXPECT_EQ(model.handle_line("0E04E").line, kBel);
    EXPECT_EQ(model.timer(4), kWeek);
}

TEST_F(ModelTest, ClockRuns) {
    time.advance_ms(999);
    EXPECT_EQ(model.time(), "183045");
    time.advance_ms(1);
    EXPECT_EQ(model.time(), "183046");
    time.advance_ms(14 * 1000);
    EXPECT_EQ(model.time(), "183100");
    time.advance_ms(5LL * 3600 * 1000 + 29 * 60 * 1000);
    EXPECT_EQ(model.time(), "000000");
    EXPECT_EQ(model.date(), "160407");
}

TEST_F(ModelTest, SettingTheTimeRestartsTheSecond) {
    time.advance_ms(700);
    model.set_time("120000");
    time.advance_ms(500);
    EXPECT_EQ(model.time(), "120000");
    time.advance_ms(500);
    EXPECT_EQ(model.time(), "120001");
}

struct Rollover {
    const char* date;
    const char* next;
};

TEST_F(ModelTest, DateRollsOverAtMidnight) {
    const Rollover table[] = {
        {"150407", "160407"}, {"300407", "010507"}, {"280224", "290224"}, {"290224", "010324"},
        {"280223", "010323"}, {"311224", "010125"}, {"311299", "010100"}, {"310100", "010200"},
        {"290200", "010300"},
    };
    for (const auto& row : table) {
        ASSERT_TRUE(model.set_date(row.date));
        ASSERT_TRUE(model.set_time("235959"));
        time.advance_ms(1000);
        EXPECT_EQ(model.date(), row.next) << row.date;
        EXPECT_EQ(model.time(), "000000") << row.date;
    }
}

TEST(CalendarTest, EveryDayOfTheCenturyRoundTrips) {
    for (long long day = 0; day < kDaysPerCentury; ++day) {
        const std::string text = date_text(day);
        ASSERT_TRUE(is_valid_date(text)) << day;
        ASSERT_EQ(day_number(text), day) << text;
    }
    EXPECT_EQ(date_text(kDaysPerCentury), "010100");
    EXPECT_EQ(date_text(-1), "311299");
}

TEST(CalendarTest, ValidatesTimes) {
    EXPECT_TRUE(is_valid_time("000000"));
    EXPECT_TRUE(is_valid_time("235959"));
    EXPECT_FALSE(is_valid_time("240000"));
    EXPECT_FALSE(is_valid_time("235960"));
    EXPECT_FALSE(is_valid_time("23595"));
    EXPECT_FALSE(is_valid_time("2359599"));
    EXPECT_FALSE(is_valid_time("-35959"));
}

TEST(SettingsTest, RangesPerPosition) {
    EXPECT_TRUE(is_valid_settings("2214"));
    EXPECT_TRUE(is_valid_settings("0000"));
    EXPECT_FALSE(is_valid_settings("3000"));
    EXPECT_FALSE(is_valid_settings("0300"));
    EXPECT_FALSE(is_valid_settings("0020"));
    EXPECT_FALSE(is_valid_settings("0005"));
    EXPECT_FALSE(is_valid_settings("000"));
}

TEST(DeviceTest, IdentifierCodesAreTwoPrintableCharacters) {
    ManualTimeSource time;
    Model model{time};
    EXPECT_TRUE(model.set_device(9, "AB"));
    EXPECT_EQ(model.handle_line("9X").line, "9AB");
    EXPECT_FALSE(model.set_device(0, "05"));
    EXPECT_FALSE(model.set_device(4, "5"));
    EXPECT_FALSE(model.set_device(4, "\r5"));
    EXPECT_TRUE(model.set_device(9, ""));
    EXPECT_FALSE(model.handle_line("9X").has_line);
}

}  // namespace
}  // namespace zd::sim
