#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "device/status_record.h"
#include "gui/main_window.h"
#include "gui/timer_overview.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"
#include "tests/fakes/fake_ui.h"
#include "tests/fakes/screen_rig.h"

namespace zd::test {
namespace {

// The entry for one reply, decoded as the overview does it.
std::string entry_for(int timer, const std::string& reply) {
    TimerFields f;
    f.number = std::to_string(timer);
    f.date = "081226";
    std::string last = reply;
    parse_timer_reply(f, last);
    return timer_overview_entry(timer, f, last);
}

TEST(TimerOverviewEntry, WeekdayExample) {
    EXPECT_EQ(entry_for(3, "05003W01010101050011063000071500"),
              "\rNR.3  Tage: Mo Mi Fr   Zeit: 06:30 - 07:15 Uhr\r\r      Quelle: CD 05   Ziel: LS-A LS-B \r\r");
}

TEST(TimerOverviewEntry, DateExamples) {
    EXPECT_EQ(entry_for(2, "05002D2403060121000200000213000"),
              "\rNR.2  Datum: 24.03.2006   Zeit: 20:00 - 21:30 Uhr\r\r      Quelle: Tuner 12   Ziel: Tape1 \r\r");
    EXPECT_EQ(entry_for(1, "05001D3112990221100060000070000").substr(0, 31), "\rNR.1  Datum: 31.12.2099   Zeit");
}

TEST(TimerOverviewEntry, SourcesAndTargets) {
    struct Case {
        const char* reply;
        const char* source_line;
    } cases[] = {
        {"05001W00000000071111000000000000", "      Quelle: Tuner 07   Ziel: Tape1 Tape2 LS-A LS-B \r\r"},
        {"05001W00000003050000000000000000", "      Quelle: Tape2   Ziel: \r\r"},
        {"05001W00000002000100000000000000", "      Quelle: Tape1   Ziel: Tape2 \r\r"},
        {"05001W00000004000001000000000000", "      Quelle: Phono   Ziel: LS-B \r\r"},
        {"05001W00000009050010000000000000", "      Quelle:    Ziel: LS-A \r\r"},
    };
    for (const auto& c : cases) {
        const std::string entry = entry_for(1, c.reply);
        const auto at = entry.find("      Quelle: ");
        ASSERT_NE(at, std::string::npos) << c.reply;
        EXPECT_EQ(entry.substr(at), c.source_line) << c.reply;
    }
}

TEST(TimerOverviewEntry, DayListAndEmptyDays) {
    EXPECT_EQ(entry_for(1, "05001W00000000000000000000000000").substr(0, 22), "\rNR.1  Tage:   Zeit: 0");
    const std::string all = entry_for(5, "05005W11111110000000235900000000");
    const std::string first = all.substr(1, all.find('\r', 1) - 1);
    EXPECT_EQ(first, "NR.5  Tage: So Mo Di Mi Do Fr Sa   Zeit: 23:59 - 00:00 Uhr");
    EXPECT_EQ(first.size(), 58u);
}

TEST(TimerOverviewEntry, FailedAndEmpty) {
    EXPECT_EQ(entry_for(4, ""), "\rAbfrage Speicher 4 fehlgeschlagen!\r\r\r\r");
    EXPECT_EQ(entry_for(4, "05003W01010101050011063000071500"), "\rAbfrage Speicher 4 fehlgeschlagen!\r\r\r\r");
    EXPECT_EQ(entry_for(4, "050"), "\rAbfrage Speicher 4 fehlgeschlagen!\r\r\r\r");
    EXPECT_EQ(entry_for(4, "05004W0101"), "\rAbfrage Speicher 4 fehlgeschlagen!\r\r\r\r");
    EXPECT_EQ(entry_for(2, "05002E"), "\rTimer 2 ist leer!\r\r\r\r");
}

TEST(TimerOverviewEntry, EveryEntryHasFiveLineBreaks) {
    for (const char* reply : {"", "05001E", "05001W01010101050011063000071500", "05001D2403060121000200000213000"}) {
        const std::string e = entry_for(1, reply);
        EXPECT_EQ(std::count(e.begin(), e.end(), '\r'), 5) << reply;
        EXPECT_EQ(e[0], '\r');
    }
}

struct OverviewTest : ::testing::Test, ScreenRig {
    std::map<char, std::string> replies;  // timer digit -> reply line; absent: silent
    std::vector<std::vector<bool>> enabled_while_reading;

    OverviewTest() {
        port.on_write = [this](const std::string& w) {
            std::vector<bool> enabled;
            for (int id = kAboutButton; id <= st.last_main_button; ++id) enabled.push_back(ui.g(id).enabled);
            enabled_while_reading.push_back(enabled);
            if (w.size() == 5 && w.compare(0, 3, "0C0") == 0) {
                auto it = replies.find(w[3]);
                if (it != replies.end()) port.arrive_after(200, it->second + "\r\n");
            }
        };
    }
    void build() { build_main_window(ctx); }
    void run() {
        ui.click(kOverviewButton);
        ASSERT_TRUE(handle_main_event(ctx, ui.wait_event()));
    }
    std::string pane() { return ui.g(kPane).text; }
};

TEST_F(OverviewTest, FiveEmptyTimers) {
    build();
    for (char d = '1'; d <= '5'; ++d) replies[d] = std::string("0500") + d + "E";
    run();
    std::string expected;
    for (int n = 1; n <= 5; ++n) expected += "\rTimer " + std::to_string(n) + " ist leer!\r\r\r\r";
    EXPECT_EQ(pane(), expected);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\r') + 1, 26);
    EXPECT_EQ(port.writes, (std::vector<std::string>{"0C01\r", "0C02\r", "0C03\r", "0C04\r", "0C05\r"}));
    EXPECT_TRUE(st.overview_mode);
}

TEST_F(OverviewTest, SilentDeviceStillSwitchesOverviewModeOn) {
    build();
    run();
    std::string expected;
    for (int n = 1; n <= 5; ++n) expected += "\rAbfrage Speicher " + std::to_string(n) + " fehlgeschlagen!\r\r\r\r";
    EXPECT_EQ(pane(), expected);
    EXPECT_EQ(clock.now, 5 * 4000);
    EXPECT_TRUE(st.overview_mode);
}

TEST_F(OverviewTest, MixedTimersAndProgressTexts) {
    build();
    replies['1'] = "05001W01010101050011063000071500";
    replies['2'] = "05002D2403060121000200000213000";
    replies['3'] = "05003E";
    replies['5'] = "05003W01010101050011063000071500";  // another timer's reply
    show_timer_overview(ctx);
    const std::string e1 = "\rNR.1  Tage: Mo Mi Fr   Zeit: 06:30 - 07:15 Uhr\r\r      Quelle: CD 05   Ziel: LS-A LS-B \r\r";
    const std::string e2 =
        "\rNR.2  Datum: 24.03.2006   Zeit: 20:00 - 21:30 Uhr\r\r      Quelle: Tuner 12   Ziel: Tape1 \r\r";
    const std::string e3 = "\rTimer 3 ist leer!\r\r\r\r";
    const std::string e4 = "\rAbfrage Speicher 4 fehlgeschlagen!\r\r\r\r";
    const std::string e5 = "\rAbfrage Speicher 5 fehlgeschlagen!\r\r\r\r";
    const std::vector<std::string> expected = {
        "",  // the pane's caption
        "\rAbfrage Timer 1...",
        e1,
        e1 + "\rAbfrage Timer 2...",
        e1 + e2,
        e1 + e2 + "\rAbfrage Timer 3...",
        e1 + e2 + e3,
        e1 + e2 + e3 + "\rAbfrage Timer 4...",
        e1 + e2 + e3 + e4,
        e1 + e2 + e3 + e4 + "\rAbfrage Timer 5...",
        e1 + e2 + e3 + e4 + e5,
    };
    EXPECT_EQ(ui.g(kPane).texts, expected);
    EXPECT_EQ(st.timer_number, 5);
    EXPECT_EQ(st.timer.kind, "D");  // the last decoded timer stays in the fields
}

TEST_F(OverviewTest, ButtonsAreDisabledWhileReadingAndQueuedEventsDropped) {
    sys.files["Parvolet.exe"] = "";
    build();
    ASSERT_EQ(st.last_main_button, 14);
    replies['3'] = "05003E";
    auto answer = port.on_write;
    port.on_write = [&](const std::string& w) {
        answer(w);
        if (w == "0C03\r") {
            ui.press_mouse(65 * 3 - 20);  // on the pane, zone 3
            ui.click(kOverviewButton);
        }
    };
    run();
    ASSERT_EQ(enabled_while_reading.size(), 5u);
    for (const auto& enabled : enabled_while_reading) EXPECT_EQ(enabled, std::vector<bool>(10, false));
    for (int id = kAboutButton; id <= 14; ++id) EXPECT_TRUE(ui.g(id).enabled) << id;
    EXPECT_TRUE(ui.g(kPane).enabled);
    EXPECT_EQ(ui.dropped_events, 2);
    // Nothing of the run is left for the main loop.
    EXPECT_EQ(ui.wait_event().kind, EventKind::CloseRequest);
    EXPECT_EQ(ui.window().title, "Zendrill");
    EXPECT_EQ(ui.windows.size(), 1u);
}

}  // namespace
}  // namespace zd::test
