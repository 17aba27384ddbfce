#include <gtest/gtest.h>

#include "gui/main_window.h"
#include "gui/startup.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"
#include "tests/fakes/fake_ui.h"
#include "tests/fakes/screen_rig.h"

namespace zd::test {
namespace {

const char* kRecord = "0X:15040718304512000";

struct AppTest : ::testing::Test {
    FakeUi ui;
    FakeSystem sys;
    VirtualClock clock;
    FakePort fake_port{clock};
    FakePort* port = &fake_port;
    std::vector<std::string> opened;
    bool answer_status = true;
    int status_queries = 0;

    int run() {
        return run_zendrill(ui, sys, clock, [&](const std::string& name) -> std::unique_ptr<SerialPort> {
            opened.push_back(name);
            port->on_write = [this](const std::string& w) {
                if (w == "0X\r") {
                    ++status_queries;
                    if (answer_status) port->arrive_after(50, std::string(kRecord) + "\r\n");
                }
            };
            return std::make_unique<PortProxy>(*port);
        });
    }
};

TEST_F(AppTest, MissingConfigurationEndsWithANote) {
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(ui.notes, std::vector<std::string>{"Zendrill.ini nicht gefunden"});
    EXPECT_TRUE(ui.windows.empty());
    EXPECT_TRUE(opened.empty());
}

TEST_F(AppTest, PortThatCannotBeOpenedEndsWithANote) {
    for (const char* name : {"Com1234567:", "Com 1:", ":"}) {
        ui.notes.clear();
        sys.files["Zendrill.ini"] = std::string("Comport = ") + name + "\r\n";
        EXPECT_EQ(run(), 1);
        EXPECT_EQ(ui.notes, std::vector<std::string>{std::string("Konnte ") + name + "\rnicht öffnen !"});
    }
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(ui.windows.empty());
}

TEST_F(AppTest, StartUpShowsStatusAndEndSavesConfiguration) {
    sys.files["Zendrill.ini"] = "Comport = COM2:\r\nWinXPos = 100\r\nWinYPos = 80\r\n";
    ui.click(kEndButton);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(opened, std::vector<std::string>{"COM2:"});
    ASSERT_EQ(ui.windows.size(), 1u);
    EXPECT_EQ(ui.windows[0].title, "Zendrill");
    EXPECT_EQ(ui.windows[0].x, 100);
    EXPECT_EQ(ui.windows[0].y, 80);
    EXPECT_EQ(status_queries, 1);
    EXPECT_EQ(ui.g(kPane).texts[1], "\rAbfrage Gerätestatus...");
    EXPECT_EQ(ui.g(kPane).text.substr(0, 22), "\rB203 Gerätestatus:\r\r\r");
    EXPECT_TRUE(port->closed);
    const std::string& saved = sys.files["Zendrill.ini"];
    EXPECT_EQ(saved.substr(0, 64), "Comport = COM2:\r\nWinXPos = 100\r\nWinYPos = 80\r\nB203Modus = 1200\r\n");
}

TEST_F(AppTest, FarOffPositionIsUsedAndSavedBackUnchanged) {
    sys.files["Zendrill.ini"] = "WinXPos = -5000\r\nWinYPos = 12000\r\n";
    ui.request_close();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(ui.windows[0].x, -5000);
    EXPECT_EQ(ui.windows[0].y, 12000);
    EXPECT_EQ(sys.files["Zendrill.ini"].substr(17, 39), "WinXPos = -5000\r\nWinYPos = 12000\r\nB203M");
}

TEST_F(AppTest, CloseSavesThePositionReadFromTheWindow) {
    sys.files["Zendrill.ini"] = "WinXPos = 7\r\n";
    ui.then([this] {
        ui.window().x = 321;  // moved by the user
        ui.request_close();
    });
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(port->closed);
    EXPECT_EQ(sys.files["Zendrill.ini"].substr(17, 15), "WinXPos = 321\r\n");
}

TEST_F(AppTest, FailedFirstQueryIsRepeatedOnceOnly) {
    sys.files["Zendrill.ini"] = "";
    answer_status = false;
    ui.request_close();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(status_queries, 2);
    EXPECT_EQ(ui.g(kPane).text, "\rAbfrage Gerätestatus fehlgeschlagen (0)");
    EXPECT_EQ(port->written(), "0X\r0X\r");
}

TEST_F(AppTest, SaveFailureIsReported) {
    sys.files["Zendrill.ini"] = "";
    sys.fail_writes = true;
    ui.request_close();
    run();
    EXPECT_EQ(ui.notes, std::vector<std::string>{"Zendrill.ini konnte nicht gespeichert werden !"});
}

struct MainWindowTest : ::testing::Test, ScreenRig {
};

TEST_F(MainWindowTest, GadgetTable) {
    build_main_window(ctx);
    struct Row {
        int id;
        GadgetKind kind;
        int x, y, w, h;
        const char* caption;
    } rows[] = {
        {1, GadgetKind::Text, 30, 20, 486, 340, ""},
        {5, GadgetKind::Button, 230, 410, 60, 20, "über..."},
        {6, GadgetKind::Button, 10, 380, 210, 20, "Timer bearbeiten..."},
        {7, GadgetKind::Button, 10, 410, 210, 20, "Übersicht Timer 1 - 5"},
        {8, GadgetKind::Button, 10, 440, 210, 20, "B203 Gerätestatus"},
        {9, GadgetKind::Button, 300, 380, 220, 20, "alle Ports abfragen"},
        {10, GadgetKind::Button, 300, 410, 220, 20, "String an B203 senden"},
        {11, GadgetKind::Button, 300, 440, 180, 20, "B203 Einstellungen..."},
        {12, GadgetKind::Button, 480, 440, 40, 20, "**"},
        {13, GadgetKind::Button, 230, 440, 60, 20, "Ende"},
        {20, GadgetKind::Frame, 10, 9, 510, 358, ""},
    };
    auto& w = ui.window();
    EXPECT_EQ(w.w, 530);
    EXPECT_EQ(w.h, 475);
    ASSERT_EQ(w.order.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& r = rows[i];
        EXPECT_EQ(w.order[i], r.id);
        const auto& s = ui.g(r.id).def;
        EXPECT_EQ(s.kind, r.kind) << r.id;
        EXPECT_EQ(s.x, r.x) << r.id;
        EXPECT_EQ(s.y, r.y) << r.id;
        EXPECT_EQ(s.w, r.w) << r.id;
        EXPECT_EQ(s.h, r.h) << r.id;
        EXPECT_EQ(s.caption, r.caption) << r.id;
    }
    EXPECT_EQ(ui.g(1).fg, (Rgb{16, 144, 16}));
    EXPECT_EQ(ui.g(1).bg, ui.background);
    EXPECT_EQ(ui.g(12).fg, (Rgb{16, 144, 16}));
    EXPECT_EQ(ui.g(13).fg, (Rgb{255, 16, 16}));
    EXPECT_EQ(st.last_main_button, 13);
    EXPECT_EQ(st.background, ui.background);
}

TEST_F(MainWindowTest, CompanionButtonOnlyWithParvoletExe) {
    sys.files["Parvolet.exe"] = "MZ";
    build_main_window(ctx);
    EXPECT_EQ(st.last_main_button, 14);
    const auto& order = ui.window().order;
    EXPECT_EQ(order[order.size() - 2], 14);
    const auto& s = ui.g(14).def;
    EXPECT_EQ(s.caption, "Parvolet");
    EXPECT_EQ(s.x, 230);
    EXPECT_EQ(s.y, 380);
}

TEST(ClickZones, FollowTheListingsBandsAt13Pixels) {
    struct Case {
        int y, timer;
    } cases[] = {{-1, 0},  {0, 0},    {30, 0},   {31, 1},   {74, 1},   {75, 0},   {95, 0},  {96, 2},
                 {139, 2}, {140, 0},  {160, 0},  {161, 3},  {204, 3},  {205, 0},  {225, 0}, {226, 4},
                 {269, 4}, {270, 0},  {290, 0},  {291, 5},  {334, 5},  {335, 0},  {380, 0}};
    for (const auto& c : cases) EXPECT_EQ(click_zone_timer(c.y, 13), c.timer) << c.y;
}

TEST(ClickZones, FollowALargerLineHeight) {
    // 16-pixel lines: entry 2 starts at 20 + 6 * 16 = 116.
    EXPECT_EQ(click_zone_timer(114, 16), 2);
    EXPECT_EQ(click_zone_timer(113, 16), 0);
    EXPECT_EQ(click_zone_timer(116 + 48 + 2, 16), 2);
}

TEST_F(MainWindowTest, ClicksOpenNothingWithoutOverviewMode) {
    build_main_window(ctx);
    EXPECT_TRUE(handle_main_event(ctx, UiEvent{EventKind::LeftButtonDown, 0, 40}));
    EXPECT_EQ(ui.windows.size(), 1u);
}

TEST_F(MainWindowTest, AboutBoxLeavesOverviewMode) {
    build_main_window(ctx);
    st.overview_mode = true;
    handle_main_event(ctx, UiEvent{EventKind::Gadget, kAboutButton, -1});
    ASSERT_EQ(ui.notes.size(), 1u);
    EXPECT_EQ(ui.notes[0].substr(0, 9), "Zendrill ");
    EXPECT_TRUE(st.overview_mode);
}

TEST_F(MainWindowTest, StatusButtonSwitchesOverviewOff) {
    build_main_window(ctx);
    st.overview_mode = true;
    handle_main_event(ctx, UiEvent{EventKind::Gadget, kStatusButton, -1});
    EXPECT_FALSE(st.overview_mode);
    EXPECT_EQ(port.written(), "0X\r");
}

}  // namespace
}  // namespace zd::test
