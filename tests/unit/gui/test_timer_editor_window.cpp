#include <iterator>

#include "gui/timer_editor.h"
#include "tests/unit/gui/timer_editor_fixture.h"

namespace zd::test {
namespace {

using namespace editor;

struct Row {
    int id;
    GadgetKind kind;
    const char* caption;
    int x, y, w, h;
};

const GadgetKind T = GadgetKind::Text, O = GadgetKind::Option, C = GadgetKind::CheckBox,
                 B = GadgetKind::Button, L = GadgetKind::DropDown, K = GadgetKind::TrackBar;

const Row kEditorTable[] = {
    {1, T, "", 10, 3, 490, 15},
    {2, O, "1", 110, 30, 30, 20},
    {3, O, "2", 170, 30, 30, 20},
    {4, O, "3", 230, 30, 30, 20},
    {5, O, "4", 290, 30, 30, 20},
    {6, O, "5", 350, 30, 30, 20},
    {46, T, "Timer:", 10, 33, 95, 20},
    {7, C, "Mo", 110, 70, 40, 20},
    {8, C, "Di", 170, 70, 40, 20},
    {9, C, "Mi", 230, 70, 40, 20},
    {10, C, "Do", 290, 70, 40, 20},
    {11, C, "Fr", 350, 70, 40, 20},
    {12, C, "Sa", 410, 70, 40, 20},
    {13, C, "So", 470, 70, 40, 20},
    {15, GadgetKind::DatePicker, "", 110, 100, 100, 20},
    {16, O, "Tuner", 110, 140, 60, 20},
    {17, O, "CD", 190, 140, 60, 20},
    {18, O, "Tape1", 270, 140, 60, 20},
    {19, O, "Tape2", 350, 140, 60, 20},
    {20, O, "Phono", 430, 140, 60, 20},
    {39, T, "", 400, 30, 100, 30},
    {21, T, "", 10, 173, 90, 20},
    {22, L, "", 110, 170, 170, 250},
    {48, T, "Quelle:", 10, 143, 90, 20},
    {31, C, "Tape1", 110, 210, 60, 20},
    {32, C, "Tape2", 190, 210, 60, 20},
    {33, C, "LS-A", 270, 210, 60, 20},
    {34, C, "LS-B", 350, 210, 60, 20},
    {40, K, "", 170, 250, 168, 30},
    {41, K, "", 100, 290, 400, 30},
    {42, K, "", 170, 330, 168, 30},
    {43, K, "", 100, 370, 400, 30},
    {44, T, "00:00", 110, 260, 60, 20},
    {45, T, "00:00", 110, 340, 60, 20},
    {14, O, "Tag(e):", 10, 70, 90, 20},
    {47, O, "Datum:", 10, 100, 90, 20},
    {49, T, "Ziel(e):", 10, 213, 90, 20},
    {50, T, "Start:", 10, 260, 90, 20},
    {51, T, "Ende:", 10, 340, 90, 20},
    {52, B, "Löschen!!", 5, 420, 85, 20},
    {53, B, "an B203 senden", 5, 450, 135, 20},
    {54, B, "Zurück", 145, 450, 60, 20},
    {55, L, "", 210, 420, 315, 180},
    {56, B, "als Preset merken", 370, 450, 155, 20},
    {57, B, "Presetname ändern", 210, 450, 155, 20},
    {58, GadgetKind::Frame, "", 5, 15, 520, 395},
    {59, B, "Timer testen", 95, 420, 110, 20},
};

TEST_F(EditorTest, GadgetsMatchTheTableInOrder) {
    ui.background = Rgb{200, 201, 202};
    ASSERT_TRUE(ui.open_window("x", 0, 0, 530, 475));
    st.background = Rgb{200, 201, 202};
    create_editor_gadgets(ctx);
    const auto& order = ui.window().order;
    ASSERT_EQ(order.size(), std::size(kEditorTable));
    for (std::size_t i = 0; i < std::size(kEditorTable); ++i) {
        const Row& r = kEditorTable[i];
        SCOPED_TRACE(r.id);
        EXPECT_EQ(order[i], r.id);
        const GadgetSpec& s = g(r.id).def;
        EXPECT_EQ(s.kind, r.kind);
        EXPECT_EQ(s.caption, r.caption);
        EXPECT_EQ(s.x, r.x);
        EXPECT_EQ(s.y, r.y);
        EXPECT_EQ(s.w, r.w);
        EXPECT_EQ(s.h, r.h);
    }
    for (int id : {40, 42}) {
        EXPECT_EQ(g(id).def.range_min, 0);
        EXPECT_EQ(g(id).def.range_max, 23);
    }
    for (int id : {41, 43}) {
        EXPECT_EQ(g(id).def.range_min, 0);
        EXPECT_EQ(g(id).def.range_max, 59);
    }
}

TEST_F(EditorTest, ColouredCaptionsOnTheSampledBackground) {
    ASSERT_TRUE(ui.open_window("x", 0, 0, 530, 475));
    st.background = Rgb{1, 2, 3};
    create_editor_gadgets(ctx);
    const std::map<int, Rgb> coloured = {
        {1, {255, 128, 16}}, {39, {255, 16, 16}}, {52, {255, 16, 16}}, {53, {16, 144, 16}}, {59, {16, 16, 208}}};
    for (const Row& r : kEditorTable) {
        SCOPED_TRACE(r.id);
        auto it = coloured.find(r.id);
        EXPECT_EQ(g(r.id).coloured, it != coloured.end());
        if (it == coloured.end()) continue;
        EXPECT_EQ(g(r.id).fg, it->second);
        EXPECT_EQ(g(r.id).bg, (Rgb{1, 2, 3}));
    }
}

TEST_F(EditorTest, ThreeOptionGroupsAndTheListsContents) {
    ASSERT_TRUE(ui.open_window("x", 0, 0, 530, 475));
    st.config.preset_names[3] = "Wecker";
    create_editor_gadgets(ctx);
    for (int id : {3, 4, 5, 6}) EXPECT_EQ(g(id).group, g(2).group);
    for (int id : {17, 18, 19, 20}) EXPECT_EQ(g(id).group, g(16).group);
    EXPECT_EQ(g(47).group, g(14).group);
    EXPECT_NE(g(2).group, g(16).group);
    EXPECT_NE(g(16).group, g(14).group);
    EXPECT_NE(g(2).group, g(14).group);

    EXPECT_EQ(g(55).items, (std::vector<std::string>{"0", "1", "2", "Wecker", "4", "5", "6", "7", "8", "9"}));
    EXPECT_EQ(g(55).selected, 0);
    EXPECT_EQ(g(22).items, std::vector<std::string>(30, " "));
}

TEST_F(EditorTest, OpensInPlaceOfTheMainWindowAtItsPosition) {
    ui.window().x = 77;  // the user moved the main window
    ui.window().y = 88;
    ui.background = Rgb{9, 8, 7};
    device['1'] = "E";
    open(1);
    ASSERT_EQ(ui.windows.size(), 2u);
    EXPECT_FALSE(ui.windows[0].open);
    EXPECT_EQ(st.win_x, 77);
    EXPECT_EQ(st.win_y, 88);
    const auto& w = ui.window();
    EXPECT_TRUE(w.open);
    EXPECT_EQ(w.title, "B203 Timer bearbeiten");
    EXPECT_EQ(w.x, 77);
    EXPECT_EQ(w.y, 88);
    EXPECT_EQ(w.w, 530);
    EXPECT_EQ(w.h, 475);
    EXPECT_EQ(st.background, (Rgb{9, 8, 7}));
}

TEST_F(EditorTest, EmptyTimerShowsTheDefaultTimer) {
    device['3'] = "E";
    open(3);
    EXPECT_EQ(port.writes, std::vector<std::string>{"0C03\r"});
    EXPECT_EQ(checked_timer_option(), std::vector<int>{4});
    EXPECT_TRUE(checked(kWeekdayModeOption));
    EXPECT_FALSE(checked(kDateModeOption));
    EXPECT_TRUE(checked_days().empty());
    for (int id = 7; id <= 13; ++id) EXPECT_TRUE(g(id).enabled);
    EXPECT_FALSE(g(kDateField).enabled);
    EXPECT_EQ(checked_sources(), std::vector<int>{16});
    EXPECT_EQ(g(kStationLabel).text, "Station:");
    EXPECT_TRUE(visible(kStationList));
    EXPECT_EQ(g(kStationList).selected, 0);
    EXPECT_TRUE(checked_targets().empty());
    for (int id = 40; id <= 43; ++id) EXPECT_EQ(g(id).track, 0);
    EXPECT_EQ(g(44).text, "00:00");
    EXPECT_EQ(g(45).text, "00:00");
    EXPECT_EQ(g(kEmptyLabel).text, "Timer ist leer !");
    EXPECT_FALSE(visible(kEraseButton));
    EXPECT_FALSE(visible(kTestButton));
    EXPECT_EQ(g(kStatusLine).texts, (std::vector<std::string>{"", "Abfrage Timer 3...", ""}));
    EXPECT_EQ(st.timer.number, "3");
    EXPECT_EQ(st.timer.kind, "W");
    EXPECT_EQ(st.timer.date, "081226");  // the default record leaves the date alone
    EXPECT_EQ(st.last_reply, "05003E");
}

TEST_F(EditorTest, WeekdayRecordIsShown) {
    st.config.stations[5] = "WDR 2";
    device['3'] = kCdRecord;
    open(3);
    EXPECT_EQ(checked_timer_option(), std::vector<int>{4});
    EXPECT_EQ(checked_days(), (std::vector<int>{7, 9, 11}));
    EXPECT_EQ(checked_sources(), std::vector<int>{17});
    EXPECT_EQ(g(kStationLabel).text, "CD-Track:");
    EXPECT_EQ(g(kStationList).items[29], "Track 29");
    EXPECT_EQ(g(kStationList).selected, 5);
    EXPECT_EQ(checked_targets(), (std::vector<int>{33, 34}));
    EXPECT_EQ(g(40).track, 6);
    EXPECT_EQ(g(41).track, 30);
    EXPECT_EQ(g(42).track, 7);
    EXPECT_EQ(g(43).track, 15);
    EXPECT_EQ(g(44).text, "06:30");
    EXPECT_EQ(g(45).text, "07:15");
    EXPECT_TRUE(visible(kEraseButton));
    EXPECT_TRUE(visible(kTestButton));
    EXPECT_EQ(g(kEmptyLabel).text, "");
    EXPECT_EQ(status(), "");
}

TEST_F(EditorTest, DateRecordDisablesTheDaysWithoutClearingThem) {
    device['1'] = kMonWedFri;
    device['2'] = kDateRecord;
    device['3'] = kCdRecord;
    open(1);
    EXPECT_EQ(checked_days(), (std::vector<int>{7, 9, 11}));
    ui.click(3);  // timer 2
    run_loop();
    EXPECT_EQ(port.writes.back(), "0C02\r");
    EXPECT_EQ(checked_timer_option(), std::vector<int>{3});
    EXPECT_EQ(checked_days(), (std::vector<int>{7, 9, 11}));
    for (int id = 7; id <= 13; ++id) EXPECT_FALSE(g(id).enabled);
    EXPECT_TRUE(g(kDateField).enabled);
    EXPECT_EQ(g(kDateField).date_display, "24.03.06");
    EXPECT_TRUE(checked(kDateModeOption));
    EXPECT_FALSE(checked(kWeekdayModeOption));
    EXPECT_EQ(st.timer.date, "240306");
    EXPECT_EQ(checked_sources(), std::vector<int>{16});
    EXPECT_EQ(g(kStationList).selected, 12);
    EXPECT_EQ(checked_targets(), std::vector<int>{31});
    EXPECT_EQ(g(44).text, "20:00");
    EXPECT_EQ(g(45).text, "21:30");

    ui.click(4);  // timer 3, a weekday record again
    run_loop();
    EXPECT_FALSE(g(kDateField).enabled);
    EXPECT_EQ(g(kDateField).date_display, "24.03.06");
    for (int id = 7; id <= 13; ++id) EXPECT_TRUE(g(id).enabled);
    EXPECT_TRUE(checked(kWeekdayModeOption));
}

TEST_F(EditorTest, StationListForEachSource) {
    device['1'] = "E";
    open(1);
    st.config.stations[5] = "WDR 2";
    st.timer.source = "0";
    st.timer.station = "5";
    show_station_list(ctx);
    EXPECT_EQ(st.timer.station, "05");
    EXPECT_EQ(g(kStationList).items[5], "5 WDR 2");
    EXPECT_EQ(g(kStationList).items[7], "7 ");
    EXPECT_EQ(g(kStationList).items[0], "0 ");
    EXPECT_EQ(g(kStationList).selected, 5);
    EXPECT_EQ(g(kStationLabel).text, "Station:");
    EXPECT_TRUE(visible(kStationList));

    st.timer.source = "1";
    st.timer.station = "7";
    show_station_list(ctx);
    EXPECT_EQ(g(kStationLabel).text, "CD-Track:");
    for (int n = 0; n < 30; ++n) EXPECT_EQ(g(kStationList).items[n], "Track " + std::to_string(n));
    EXPECT_EQ(g(kStationList).selected, 7);
    EXPECT_EQ(st.timer.station, "07");

    st.timer.station = "45";
    show_station_list(ctx);
    EXPECT_EQ(st.timer.station, "29");
    EXPECT_EQ(g(kStationList).selected, 29);

    st.timer.source = "3";
    st.timer.station = "12";
    show_station_list(ctx);
    EXPECT_EQ(st.timer.station, "00");
    EXPECT_EQ(g(kStationLabel).text, "");
    EXPECT_FALSE(visible(kStationList));
}

TEST_F(EditorTest, UnknownSourceDigitSelectsNoSource) {
    device['1'] = "W00000009050010063000071500";
    open(1);
    EXPECT_TRUE(checked_sources().empty());
    EXPECT_FALSE(visible(kStationList));
    EXPECT_EQ(g(kStationLabel).text, "");
    EXPECT_EQ(st.timer.station, "00");
    EXPECT_EQ(st.timer.source, "9");
}

TEST_F(EditorTest, MatchingPresetIsSelectedForBothKinds) {
    st.config.presets[2] = kMonWedFri;
    st.config.presets[6] = kMonWedFri;
    st.config.presets[4] = kDateRecord;
    device['1'] = kMonWedFri;
    device['2'] = kDateRecord;
    open(1);
    EXPECT_EQ(g(kPresetList).selected, 2);
    ui.click(3);
    run_loop();
    EXPECT_EQ(g(kPresetList).selected, 4);
}

TEST_F(EditorTest, WithoutAMatchThePresetListKeepsItsSelection) {
    // A weekday record whose Sunday flag is "W": its last 26 characters
    // begin with "W", which is no well-formed record.
    const std::string record = "WW010101005001006300007150";
    device['1'] = record + "0";
    ASSERT_EQ(device['1'].size(), 27u);
    st.config.presets[1] = kMonWedFri;
    st.config.presets[3] = device['1'].substr(1);
    ASSERT_EQ(st.config.presets[3].size(), 26u);
    ASSERT_EQ(st.config.presets[3][0], 'W');
    open(1);
    EXPECT_EQ(g(kPresetList).selected, 0);
    ui.select_item(kPresetList, 7);
    load_timer(ctx);
    EXPECT_EQ(g(kPresetList).selected, 7);
}

TEST_F(EditorTest, EmptyTimerKeepsTheGadgetsOfTheTimerBefore) {
    device['1'] = kMonWedFri;
    device['2'] = "E";
    open(1);
    ui.click(3);
    run_loop();
    EXPECT_EQ(checked_timer_option(), std::vector<int>{3});
    EXPECT_EQ(checked_days(), (std::vector<int>{7, 9, 11}));
    EXPECT_EQ(g(44).text, "06:30");
    EXPECT_EQ(g(kEmptyLabel).text, "Timer ist leer !");
    EXPECT_FALSE(visible(kEraseButton));
    EXPECT_FALSE(visible(kTestButton));
    ui.click(2);
    run_loop();
    EXPECT_EQ(g(kEmptyLabel).text, "");
    EXPECT_TRUE(visible(kEraseButton));
    EXPECT_TRUE(visible(kTestButton));
}

TEST_F(EditorTest, FailedReadsAreReportedInTheStatusLine) {
    device['1'] = "E";
    device['2'] = kMonWedFri;
    open(2);
    ui.click(2);  // timer 1 is empty
    run_loop();
    ASSERT_FALSE(visible(kEraseButton));

    // Timer 4: silent.
    ui.click(5);
    run_loop();
    EXPECT_EQ(status(), "Abfrage Timer 4 fehlgeschlagen!");
    EXPECT_EQ(checked_timer_option(), std::vector<int>{5});
    EXPECT_EQ(checked_days(), (std::vector<int>{7, 9, 11}));  // the fields read before
    EXPECT_TRUE(visible(kEraseButton));
    EXPECT_TRUE(visible(kTestButton));
    EXPECT_EQ(g(kEmptyLabel).text, "");
    EXPECT_EQ(st.last_reply, "");

    // The next action takes the text away.
    ui.click(kSaturdayBox);
    run_loop();
    EXPECT_EQ(status(), "");
}

TEST_F(EditorTest, ReplyForAnotherTimerOrTooShortFails) {
    device['1'] = kMonWedFri;
    open(1);
    for (const auto& reply : {std::string("05002") + kCdRecord, std::string("05005W010101")}) {
        SCOPED_TRACE(reply);
        port.on_write = [&](const std::string& w) {
            if (w == "0C05\r") port.arrive_after(0, reply + "\r\n");
        };
        ui.click(6);
        run_loop();
        EXPECT_EQ(status(), "Abfrage Timer 5 fehlgeschlagen!");
        EXPECT_EQ(checked_timer_option(), std::vector<int>{6});
        EXPECT_EQ(checked_sources(), std::vector<int>{16});
        EXPECT_EQ(g(44).text, "06:30");
    }
}

struct FailingEditorUi : FakeUi {
    bool open_window(const std::string& title, int x, int y, int cw, int ch) override {
        if (title == "B203 Timer bearbeiten") return false;
        return FakeUi::open_window(title, x, y, cw, ch);
    }
};

TEST(TimerEditorNoWindow, MainWindowComesBack) {
    BasicScreenRig<FailingEditorUi> rig;
    build_main_window(rig.ctx);
    rig.st.overview_mode = true;
    run_timer_editor(rig.ctx);
    ASSERT_EQ(rig.ui.windows.size(), 2u);
    EXPECT_EQ(rig.ui.window().title, "Zendrill");
    EXPECT_TRUE(rig.ui.window().open);
    EXPECT_FALSE(rig.st.overview_mode);
    EXPECT_EQ(rig.port.writes, std::vector<std::string>{"0X\r"});
}

}  // namespace
}  // namespace zd::test
