#include <gtest/gtest.h>

#include "tests/unit/gui/test_settings_window_fixture.h"

namespace zd::test {
namespace {

struct ExpectedGadget {
    int id;
    GadgetKind kind;
    const char* caption;
    int x, y, w, h;
    enum { kDefault, kGreenText, kOrangeText } colours;
};

const ExpectedGadget kTable[] = {
    {25, GadgetKind::Text, "", 10, 10, 300, 20, ExpectedGadget::kOrangeText},
    {1, GadgetKind::Text, "Sprache:", 20, 65, 150, 20, ExpectedGadget::kDefault},
    {2, GadgetKind::Text, "Easy Funktion:", 20, 115, 150, 20, ExpectedGadget::kDefault},
    {3, GadgetKind::Text, "Timer:", 20, 165, 150, 20, ExpectedGadget::kDefault},
    {4, GadgetKind::Text, "Einschaltbedingung:", 20, 215, 150, 20, ExpectedGadget::kDefault},
    {6, GadgetKind::DropDown, "", 180, 60, 300, 180, ExpectedGadget::kDefault},
    {7, GadgetKind::DropDown, "", 180, 110, 300, 180, ExpectedGadget::kDefault},
    {8, GadgetKind::DropDown, "", 180, 160, 300, 180, ExpectedGadget::kDefault},
    {9, GadgetKind::DropDown, "", 180, 210, 300, 180, ExpectedGadget::kDefault},
    {10, GadgetKind::Button, "an B203 senden", 30, 280, 200, 20, ExpectedGadget::kGreenText},
    {11, GadgetKind::Button, "zum Hauptmenü", 350, 440, 150, 20, ExpectedGadget::kDefault},
    {12, GadgetKind::Button, "als Quickmodus merken (**)", 280, 280, 220, 20, ExpectedGadget::kDefault},
    {13, GadgetKind::Button, "Zeit ändern...", 10, 360, 150, 20, ExpectedGadget::kDefault},
    {14, GadgetKind::Button, "Datum ändern...", 180, 360, 150, 20, ExpectedGadget::kDefault},
    {15, GadgetKind::Button, "IR einschalten", 350, 360, 150, 20, ExpectedGadget::kGreenText},
    {16, GadgetKind::Button, "IR ausschalten", 350, 390, 150, 20, ExpectedGadget::kGreenText},
    {18, GadgetKind::Button, "Zeit +1 Std", 10, 390, 150, 20, ExpectedGadget::kGreenText},
    {19, GadgetKind::Button, "Zeit -1 Std", 10, 420, 150, 20, ExpectedGadget::kGreenText},
    {20, GadgetKind::Button, "Datum PC > B203", 180, 390, 150, 20, ExpectedGadget::kGreenText},
    {21, GadgetKind::Button, "Zeit PC > B203", 180, 420, 150, 20, ExpectedGadget::kGreenText},
    {17, GadgetKind::Frame, "", 10, 29, 510, 300, ExpectedGadget::kDefault},
};

TEST_F(SettingsWindowTest, WindowAndGadgetsFollowTheTable) {
    const Rgb sampled = st.background;  // from the main window
    run();
    ASSERT_EQ(ui.windows.size(), 3u);
    FakeUi::Window& w = settings_window();
    EXPECT_EQ(w.title, "B203 Einstellungen ");
    EXPECT_EQ(w.w, 530);
    EXPECT_EQ(w.h, 475);
    EXPECT_EQ(st.background, sampled);

    std::vector<int> order;
    for (const auto& e : kTable) order.push_back(e.id);
    EXPECT_EQ(w.order, order);
    for (const auto& e : kTable) {
        SCOPED_TRACE(e.id);
        const FakeUi::Gadget& gd = w.gadgets.at(e.id);
        EXPECT_EQ(gd.def.kind, e.kind);
        EXPECT_EQ(gd.def.caption, e.caption);
        EXPECT_EQ(gd.def.x, e.x);
        EXPECT_EQ(gd.def.y, e.y);
        EXPECT_EQ(gd.def.w, e.w);
        EXPECT_EQ(gd.def.h, e.h);
        EXPECT_EQ(gd.coloured, e.colours != ExpectedGadget::kDefault);
        if (e.colours == ExpectedGadget::kGreenText) {
            EXPECT_EQ(gd.fg, (Rgb{16, 144, 16}));
        }
        if (e.colours == ExpectedGadget::kOrangeText) {
            EXPECT_EQ(gd.fg, (Rgb{255, 128, 16}));
        }
        if (gd.coloured) {
            EXPECT_EQ(gd.bg, sampled);
        }
    }
}

TEST_F(SettingsWindowTest, BoxesListTheValueNames) {
    run();
    EXPECT_EQ(sg(6).items, (std::vector<std::string>{"Englisch", "Deutsch", "Französisch"}));
    EXPECT_EQ(sg(7).items, (std::vector<std::string>{"Easy Remote", "Easy Remote + Local", "aus"}));
    EXPECT_EQ(sg(8).items, (std::vector<std::string>{"ein", "aus"}));
    EXPECT_EQ(sg(9).items,
              (std::vector<std::string>{"Lautsprecher A", "Lautsprecher B", "Lautsprecher A+B",
                                        "zuletzt aktivierte Lautsprecher", "Lautsprecher aus"}));
}

TEST_F(SettingsWindowTest, OpensWhereTheMainWindowStoodAndHandsBackItsOwnPosition) {
    ui.window().x = 222;  // the user moved the main window
    ui.window().y = -40;
    int opened_x = 0, opened_y = 0;
    ui.then([&] {
        opened_x = ui.window().x;
        opened_y = ui.window().y;
        ui.window().x = 333;  // and then the settings window
        ui.window().y = 44;
    });
    device_record = status_record("150407", "183045", "0141");
    st.overview_mode = true;
    run();
    ASSERT_EQ(ui.windows.size(), 3u);
    EXPECT_FALSE(ui.windows[0].open);
    EXPECT_EQ(opened_x, 222);
    EXPECT_EQ(opened_y, -40);
    EXPECT_EQ(settings_window().title, "B203 Einstellungen ");
    EXPECT_FALSE(settings_window().open);
    FakeUi::Window& main = ui.windows[2];
    EXPECT_EQ(main.title, "Zendrill");
    EXPECT_TRUE(main.open);
    EXPECT_EQ(main.x, 333);
    EXPECT_EQ(main.y, 44);
    EXPECT_EQ(st.win_x, 333);
    EXPECT_EQ(st.win_y, 44);
    EXPECT_FALSE(st.overview_mode);
    // The rebuilt main window shows a fresh report, which sets the string.
    EXPECT_EQ(ui.g(kPane).text.substr(0, 20), "\rB203 Gerätestatus:\r");
    EXPECT_EQ(st.settings_string, "0141");
}

TEST_F(SettingsWindowTest, OpeningQueriesNothingAndTheStatusLineStartsEmpty) {
    st.settings_string = "1200";
    ui.then([&] { EXPECT_TRUE(port.writes.empty()); });
    run();
    EXPECT_EQ(status_line(), "");
    EXPECT_EQ(sent(), std::vector<std::string>{});
}

TEST_F(SettingsWindowTest, BackButtonAndCloseBoxLeaveAlike) {
    for (bool by_button : {true, false}) {
        SettingsRig f;
        f.st.settings_string = "1200";
        if (by_button) f.ui.click(kSetBackButton);
        else f.ui.request_close();
        f.ui.click(kSetIrOnButton);  // never reached
        f.run();
        EXPECT_EQ(f.ui.windows.size(), 3u);
        EXPECT_EQ(f.ui.window().title, "Zendrill");
        EXPECT_EQ(f.port.writes, std::vector<std::string>{"0X\r"});
        EXPECT_EQ(f.ui.waits_when_dry, 0);
    }
}

TEST_F(SettingsWindowTest, LabelsFrameStatusLineAndMousePressesDoNothing) {
    st.settings_string = "1200";
    for (int id : {1, 2, 3, 4, 17, 25}) ui.click(id);
    ui.press_mouse(100);
    ui.click(kSetBackButton);
    run();
    EXPECT_EQ(sent(), std::vector<std::string>{});
    EXPECT_EQ(status_line(), "");
    EXPECT_EQ(st.settings_string, "1200");
}

struct PresetCase {
    const char* settings;
    int language, easy, timer, power_on;
    const char* string_after;
};

TEST_F(SettingsWindowTest, BoxesArePresetFromTheSettingsString) {
    const PresetCase cases[] = {
        {"1200", 1, 2, 0, 0, "1200"},
        {"2114", 2, 1, 1, 4, "2114"},
        {"7000", -1, 0, 0, 0, "7000"},  // out of range: no selection, code kept
        {"0020", 0, 0, -1, 0, "0020"},
        {"0095", 0, 0, -1, -1, "0095"},
        {"X1a ", 0, 1, 0, 0, "X1a "},   // a non-digit selects the first entry
        {"+2-1", 0, 2, 0, 1, "+2-1"},
        {"", 0, 0, 0, 0, "0000"},       // no status record since start-up
        {"12", 0, 0, 0, 0, "0000"},
        {"120034", 0, 0, 0, 0, "0000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        SettingsRig f;
        f.st.settings_string = c.settings;
        f.ui.then([&] { EXPECT_EQ(f.st.settings_string, c.string_after); });
        f.run();
        EXPECT_EQ(f.sg(6).selected, c.language);
        EXPECT_EQ(f.sg(7).selected, c.easy);
        EXPECT_EQ(f.sg(8).selected, c.timer);
        EXPECT_EQ(f.sg(9).selected, c.power_on);
    }
}

TEST_F(SettingsWindowTest, PickingAnEntryReplacesItsPositionAndSendSendsTheString) {
    st.settings_string = "1000";
    ui.choose_item(kSetEasyBox, 2);
    ui.click(kSetSendButton);
    ui.then([&] { EXPECT_EQ(st.settings_string, "1200"); });
    run();
    EXPECT_EQ(sent(), std::vector<std::string>{"0S1200\r"});
    EXPECT_EQ(status_line(), "Einstellung gesendet (0S1200)");
}

TEST_F(SettingsWindowTest, EveryBoxEditsItsOwnPosition) {
    st.settings_string = "0000";
    ui.choose_item(kSetPowerOnBox, 4);
    ui.click(kSetSendButton);
    ui.choose_item(kSetTimerBox, 1);
    ui.click(kSetSendButton);
    ui.choose_item(kSetLanguageBox, 2);
    ui.click(kSetSendButton);
    ui.choose_item(kSetEasyBox, 1);
    ui.click(kSetSendButton);
    ui.choose_item(kSetLanguageBox, 0);
    ui.click(kSetSendButton);
    run();
    EXPECT_EQ(sent(), (std::vector<std::string>{"0S0004\r", "0S0014\r", "0S2014\r", "0S2114\r",
                                                "0S0114\r"}));
    EXPECT_EQ(sg(kSetStatusLine).texts,
              (std::vector<std::string>{"", "Einstellung gesendet (0S0004)", "Einstellung gesendet (0S0014)",
                                        "Einstellung gesendet (0S2014)", "Einstellung gesendet (0S2114)",
                                        "Einstellung gesendet (0S0114)"}));
}

// Send, pick one entry, send again: the reported string goes out as it was
// opened until a pick replaces its one position.
TEST(SettingsWindowSend, TheReportedStringUntilAnEntryIsPicked) {
    const struct {
        const char* what;
        const char* reported;
        int box;
        int entry;
        std::vector<std::string> sent;
    } cases[] = {
        {"an out-of-range code", "7093", kSetLanguageBox, 1, {"0S7093\r", "0S1093\r"}},
        {"a string not of four digits", "X2 1", kSetTimerBox, 1, {"0SX2 1\r", "0SX211\r"}},
        {"no status record: the visible first entries", "", kSetPowerOnBox, 3, {"0S0000\r", "0S0003\r"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsRig f;
        f.st.settings_string = c.reported;
        f.ui.click(kSetSendButton);
        f.ui.choose_item(c.box, c.entry);
        f.ui.click(kSetSendButton);
        f.run();
        EXPECT_EQ(f.sent(), c.sent);
        const std::string& last = c.sent.back();
        EXPECT_EQ(f.status_line(), "Einstellung gesendet (" + last.substr(0, last.size() - 1) + ")");
    }
}

TEST_F(SettingsWindowTest, ColouredCaptionsUseTheMainWindowsBackground) {
    const Rgb main_background = st.background;
    ui.background = Rgb{1, 2, 3};  // what a sample of the settings window would give
    ASSERT_FALSE(main_background == ui.background);
    ui.then([&] { EXPECT_EQ(st.background, main_background); });
    run();
    for (int id : {kSetStatusLine, kSetSendButton, kSetIrOnButton, kSetIrOffButton, kSetHourUpButton,
                   kSetHourDownButton, kSetPcDateButton, kSetPcTimeButton}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(sg(id).bg, main_background);
    }
}

TEST_F(SettingsWindowTest, ChangingABoxSendsNothing) {
    st.settings_string = "1200";
    ui.choose_item(kSetLanguageBox, 0);
    ui.choose_item(kSetPowerOnBox, 2);
    run();
    EXPECT_EQ(sent(), std::vector<std::string>{});
    EXPECT_EQ(st.settings_string, "0202");  // the device stayed silent: the report kept it
    EXPECT_EQ(status_line(), "");
}

TEST_F(SettingsWindowTest, QuickModeIsRememberedAndWrittenToTheCompanionFile) {
    sys.files["Parvolet.ini"] = "[B203]\r\nB203Modus = 0000\nB203Modus10 = x\r\nComport = Com1:";
    st.settings_string = "2013";
    st.config.quick_mode = "1200";
    ui.click(kSetQuickModeButton);
    run();
    EXPECT_EQ(st.config.quick_mode, "2013");
    EXPECT_EQ(sys.files["Parvolet.ini"],
              "[B203]\r\nB203Modus = 2013\r\nB203Modus10 = x\r\nComport = Com1:\r\n");
    EXPECT_EQ(sent(), std::vector<std::string>{});
    EXPECT_EQ(sg(kSetStatusLine).texts, std::vector<std::string>{""});
}

TEST_F(SettingsWindowTest, QuickModeWithoutCompanionFileOrKeyChangesNoFile) {
    st.settings_string = "0111";
    ui.click(kSetQuickModeButton);
    run();
    EXPECT_EQ(st.config.quick_mode, "0111");
    EXPECT_EQ(sys.files.count("Parvolet.ini"), 0u);
    EXPECT_EQ(sys.replace_calls, 0);

    SettingsRig f;
    f.sys.files["Parvolet.ini"] = "Comport = Com1:\n";
    f.st.settings_string = "0111";
    f.ui.click(kSetQuickModeButton);
    f.run();
    EXPECT_EQ(f.sys.files["Parvolet.ini"], "Comport = Com1:\n");
    EXPECT_EQ(f.sys.replace_calls, 0);
}

TEST_F(SettingsWindowTest, InfraredButtons) {
    st.settings_string = "1200";
    ui.click(kSetIrOnButton);
    ui.click(kSetIrOffButton);
    run();
    EXPECT_EQ(sent(), (std::vector<std::string>{"0R0\r", "0R1\r"}));
    EXPECT_EQ(sg(kSetStatusLine).texts,
              (std::vector<std::string>{"", "IR ein gesendet (0R0)", "IR aus gesendet (0R1)"}));
}

TEST_F(SettingsWindowTest, PcDateAndTimeAreSentFromTheLocalClock) {
    struct Case {
        LocalTime now;
        const char* date;
        const char* time;
    } cases[] = {
        {{2026, 12, 8, 18, 30, 45}, "081226", "183045"},
        {{2009, 1, 2, 3, 4, 5}, "020109", "030405"},
        {{2100, 10, 31, 0, 0, 0}, "311000", "000000"},
        {{2099, 2, 28, 23, 59, 59}, "280299", "235959"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        SettingsRig f;
        f.sys.now = c.now;
        f.ui.click(kSetPcDateButton);
        f.ui.click(kSetPcTimeButton);
        f.run();
        EXPECT_EQ(f.sent(), (std::vector<std::string>{std::string("0D") + c.date + "\r",
                                                      std::string("0T") + c.time + "\r"}));
        EXPECT_EQ(f.sg(kSetStatusLine).texts,
                  (std::vector<std::string>{"", std::string("Datum gesendet (0D") + c.date + ")",
                                            std::string("Zeit gesendet (0T") + c.time + ")"}));
    }
}

// A platform that cannot create the settings window.
struct NoSettingsWindowUi : FakeUi {
    bool open_window(const std::string& title, int x, int y, int cw, int ch) override {
        if (title == "B203 Einstellungen ") return false;
        return FakeUi::open_window(title, x, y, cw, ch);
    }
};

TEST(SettingsWindowOpenFails, MainWindowStandsAgain) {
    BasicScreenRig<NoSettingsWindowUi> rig;
    auto& [ui, sys, clock, port, link, st, ctx] = rig;
    build_main_window(ctx);
    ui.window().x = 70;
    st.overview_mode = true;
    run_settings_window(ctx);
    ASSERT_EQ(ui.windows.size(), 2u);
    EXPECT_FALSE(ui.windows[0].open);
    EXPECT_EQ(ui.window().title, "Zendrill");
    EXPECT_TRUE(ui.window().open);
    EXPECT_EQ(ui.window().x, 70);
    EXPECT_FALSE(st.overview_mode);
    EXPECT_EQ(port.writes, std::vector<std::string>{"0X\r"});
    EXPECT_EQ(ui.waits_when_dry, 0);
}

}  // namespace
}  // namespace zd::test
