#include <gtest/gtest.h>

#include <optional>

#include "device/clock_math.h"
#include "tests/unit/gui/test_settings_window_fixture.h"

namespace zd::test {
namespace {

TEST(SettingsClock, RealTimes) {
    struct Case {
        const char* text;
        bool real;
    } cases[] = {
        {"000000", true},  {"235959", true},   {"123456", true},  {"240000", false},
        {"236000", false}, {"235960", false},  {"12345", false},  {"1234567", false},
        {"abcdef", false}, {"12 456", false},  {"-12345", false}, {"+12345", false},
        {"", false},       {"99aa99", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_real_time(c.text), c.real) << c.text;
}

TEST(SettingsClock, RealDates) {
    struct Case {
        const char* text;
        bool real;
    } cases[] = {
        {"010100", true},  {"311299", true},  {"290200", true},   {"290224", true},
        {"290223", false}, {"290299", false}, {"300224", false},  {"280223", true},
        {"310124", true},  {"310424", false}, {"300424", true},   {"310524", true},
        {"310624", false}, {"000124", false}, {"011324", false},  {"010024", false},
        {"321224", false}, {"1512", false},   {"1512245", false}, {"15.12.", false},
        {"", false},       {"ttmmyy", false}, {" 11224", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_real_date(c.text), c.real) << c.text;
}

TEST(SettingsClock, NextAndPreviousDay) {
    struct Case {
        const char* date;
        const char* next;
    } cases[] = {
        {"150407", "160407"}, {"310107", "010207"}, {"280223", "010323"}, {"280224", "290224"},
        {"290224", "010324"}, {"280200", "290200"}, {"280299", "010399"}, {"300424", "010524"},
        {"311299", "010100"}, {"311224", "010125"}, {"090924", "100924"}, {"300924", "011024"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shift_date(c.date, 1), c.next) << c.date;
        EXPECT_EQ(shift_date(c.next, -1), c.date) << c.next;
    }
}

TEST(SettingsClock, HourShift) {
    struct Case {
        const char* time;
        bool forward;
        const char* shifted;
        bool crossed;
    } cases[] = {
        {"235930", true, "005930", true},   {"001000", false, "231000", true},
        {"090000", true, "100000", false},  {"100000", false, "090000", false},
        {"225959", true, "235959", false},  {"010000", false, "000000", false},
        {"000000", true, "010000", false},  {"230000", false, "220000", false},
        // The hour is a leading number; the rest is kept as read.
        {"2x0000", true, "030000", false},  {"2x0000", false, "010000", false},
        {" 90000", true, "100000", false},  {" 90000", false, "080000", false},
        {"246000", true, "006000", false},  {"246000", false, "236000", false},
        {"99abcd", false, "98abcd", false}, {"-50000", true, "0-40000", false},
        {"-50000", false, "230000", false}, {"ab1234", false, "231234", true},
        {"235999", true, "005999", true},
    };
    for (const auto& c : cases) {
        const HourShift s = shift_hour(c.time, c.forward);
        EXPECT_EQ(s.time, c.shifted) << c.time;
        EXPECT_EQ(s.crossed_midnight, c.crossed) << c.time;
    }
}

// ---- the buttons in the window ----

struct InputCase {
    std::optional<std::string> answer;
    const char* command;  // nullptr: nothing sent
    const char* status;
};

// Each answer to the prompt of `button`, after `ir_button` has put up a
// status text that only a send may replace.
void check_inputs(int ir_button, const char* ir_command, int button, const char* prompt,
                  const std::vector<InputCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.value_or("(cancelled)"));
        SettingsRig f;
        f.ui.text_answers.push_back(c.answer);
        f.ui.click(ir_button);
        f.ui.click(button);
        f.run();
        std::vector<std::string> expected{ir_command};
        if (c.command) expected.push_back(c.command);
        EXPECT_EQ(f.sent(), expected);
        EXPECT_EQ(f.status_line(), c.status);
        EXPECT_EQ(f.ui.text_prompts, std::vector<std::string>{prompt});
    }
}

TEST_F(SettingsWindowTest, TimeInput) {
    check_inputs(kSetIrOnButton, "0R0\r", kSetTimeButton, "Zendrill|Bitte die neue Zeit im Format HHMMSS eingeben:|",
                 {
                     {"123456", "0T123456\r", "Zeit gesendet (0T123456)"},
                     {"000000", "0T000000\r", "Zeit gesendet (0T000000)"},
                     {"235959", "0T235959\r", "Zeit gesendet (0T235959)"},
                     {"240000", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"126000", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"120060", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"12345", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"1234567", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"abcdef", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"12:30:", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"", nullptr, "IR ein gesendet (0R0)"},
                     {std::nullopt, nullptr, "IR ein gesendet (0R0)"},
                 });
}

TEST_F(SettingsWindowTest, DateInput) {
    check_inputs(kSetIrOffButton, "0R1\r", kSetDateButton, "Zendrill|Bitte das neue Datum im Format TTMMYY eingeben:|",
                 {
                     {"150407", "0D150407\r", "Datum gesendet (0D150407)"},
                     {"290224", "0D290224\r", "Datum gesendet (0D290224)"},
                     {"290200", "0D290200\r", "Datum gesendet (0D290200)"},
                     {"311299", "0D311299\r", "Datum gesendet (0D311299)"},
                     {"290223", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"310424", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"001224", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"011324", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"15042007", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"15.4.7", nullptr, "Ungültige Eingabe, nichts gesendet"},
                     {"", nullptr, "IR aus gesendet (0R1)"},
                     {std::nullopt, nullptr, "IR aus gesendet (0R1)"},
                 });
}

TEST_F(SettingsWindowTest, EmptyInputLeavesAnEmptyStatusLineUntouched) {
    ui.text_answers.push_back(std::string());
    ui.click(kSetTimeButton);
    ui.click(kSetDateButton);  // cancelled
    run();
    EXPECT_EQ(sent(), std::vector<std::string>{});
    EXPECT_EQ(sg(kSetStatusLine).texts, std::vector<std::string>{""});
}

struct ShiftCase {
    const char* date;
    const char* time;
    bool forward;
    const char* new_time;
    const char* new_date;  // nullptr: within the day
};

TEST_F(SettingsWindowTest, HourShiftInAllItsWraps) {
    const ShiftCase cases[] = {
        {"150407", "235930", true, "005930", "160407"},
        {"150407", "001000", false, "231000", "140407"},
        {"150407", "090000", true, "100000", nullptr},
        {"150407", "100000", false, "090000", nullptr},
        {"150407", "000000", true, "010000", nullptr},
        {"150407", "230000", false, "220000", nullptr},
        {"310107", "230000", true, "000000", "010207"},
        {"010207", "000510", false, "230510", "310107"},
        {"300424", "231111", true, "001111", "010524"},
        {"010524", "004500", false, "234500", "300424"},
        {"311299", "235959", true, "005959", "010100"},
        {"010100", "003000", false, "233000", "311299"},
        {"311224", "230001", true, "000001", "010125"},
        {"280224", "231500", true, "001500", "290224"},
        {"290224", "231500", true, "001500", "010324"},
        {"280223", "231500", true, "001500", "010323"},
        {"010324", "001500", false, "231500", "290224"},
        {"010323", "001500", false, "231500", "280223"},
        {"280200", "230000", true, "000000", "290200"},
        {"010300", "000000", false, "230000", "290200"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.date) + " " + c.time + (c.forward ? " +1" : " -1"));
        SettingsRig f;
        f.st.settings_string = "1200";
        f.device_record = status_record(c.date, c.time, "0141");
        f.ui.click(c.forward ? kSetHourUpButton : kSetHourDownButton);
        f.ui.then([&] { EXPECT_EQ(f.st.settings_string, "1200"); });  // the record is not a report
        f.run();
        std::vector<std::string> expected{"0X\r", std::string("0T") + c.new_time + "\r"};
        std::string status = std::string("Zeit gesendet (0T") + c.new_time + ")";
        if (c.new_date) {
            expected.push_back(std::string("0D") + c.new_date + "\r");
            status += std::string(", Datum gesendet (0D") + c.new_date + ")";
        }
        EXPECT_EQ(f.sent(), expected);
        EXPECT_EQ(f.sg(kSetStatusLine).texts, (std::vector<std::string>{"", "Abfrage Timerstatus...", status}));
        // The reply takes one 100 ms poll, then 150 ms before each command.
        ASSERT_GE(f.port.write_times.size(), expected.size());
        EXPECT_EQ(f.port.write_times[1] - f.port.write_times[0], 250);
        if (c.new_date) {
            EXPECT_EQ(f.port.write_times[2] - f.port.write_times[1], 150);
        }
        EXPECT_EQ(f.clock.pauses[1], 150);
    }
}

TEST_F(SettingsWindowTest, HourShiftDiscardsOldInputBeforeTheQuery) {
    port.arrive(0, "junk\r\n");
    device_record = status_record("150407", "120000");
    ui.click(kSetHourUpButton);
    run();
    EXPECT_EQ(sent(), (std::vector<std::string>{"0X\r", "0T130000\r"}));
    EXPECT_EQ(st.last_reply, device_record);  // the report on return read it again
}

TEST_F(SettingsWindowTest, HourShiftFailures) {
    struct Case {
        std::string reply;  // empty: silent
        std::vector<int> buttons;
        const char* why;
    } cases[] = {
        {"", {kSetHourUpButton, kSetHourDownButton}, "silent"},
        {status_record("150407", "12000"), {kSetHourUpButton, kSetHourDownButton}, "19 characters"},
        {status_record("150407", "1200000"), {kSetHourUpButton, kSetHourDownButton}, "21 characters"},
    };
    for (const auto& c : cases) {
        for (int button : c.buttons) {
            SCOPED_TRACE(std::string(c.why) + " " + std::to_string(button));
            SettingsRig f;
            f.device_record = c.reply;
            f.ui.click(button);
            f.ui.then([&] { EXPECT_EQ(f.st.last_reply, c.reply); });
            f.run();
            EXPECT_EQ(f.sent(), std::vector<std::string>{"0X\r"});
            EXPECT_EQ(f.sg(kSetStatusLine).texts,
                      (std::vector<std::string>{"", "Abfrage Timerstatus...",
                                                "Abfrage Timerstatus fehlgeschlagen"}));
        }
    }
}

TEST_F(SettingsWindowTest, HourShiftSendsNothingForAClockThatIsNotReal) {
    // The device's record is believed only with a real date and time: the
    // shift never sends a time or date made from garbage.
    const ShiftCase cases[] = {
        {"150407", "2x0000", true, nullptr, nullptr},   {"150407", "2x0000", false, nullptr, nullptr},
        {"150407", " 90000", true, nullptr, nullptr},   {"150407", "246000", true, nullptr, nullptr},
        {"150407", "246000", false, nullptr, nullptr},  {"150407", "235960", true, nullptr, nullptr},
        {"150407", "999999", true, nullptr, nullptr},   {"150407", "12ZZZZ", true, nullptr, nullptr},
        {"320407", "233000", true, nullptr, nullptr},   {"1504??", "003000", false, nullptr, nullptr},
        {"320407", "120000", false, nullptr, nullptr},  {"290223", "120000", true, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.date) + " " + c.time + (c.forward ? " +1" : " -1"));
        SettingsRig f;
        f.device_record = status_record(c.date, c.time);
        f.ui.click(c.forward ? kSetHourUpButton : kSetHourDownButton);
        f.run();
        EXPECT_EQ(f.sent(), std::vector<std::string>{"0X\r"});
        EXPECT_EQ(f.sg(kSetStatusLine).texts,
                  (std::vector<std::string>{"", "Abfrage Timerstatus...", "Abfrage Timerstatus fehlgeschlagen"}));
    }
}

TEST_F(SettingsWindowTest, SilentDeviceCostsTheQueryLimitAndSendsNothing) {
    ui.click(kSetHourUpButton);
    ui.then([&] { EXPECT_EQ(clock.now, 4000); });
    run();
    EXPECT_EQ(sent(), std::vector<std::string>{"0X\r"});
    EXPECT_EQ(status_line(), "Abfrage Timerstatus fehlgeschlagen");
}

}  // namespace
}  // namespace zd::test
