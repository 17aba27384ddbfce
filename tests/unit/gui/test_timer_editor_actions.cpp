#include "gui/timer_editor.h"
#include "tests/unit/gui/timer_editor_fixture.h"

namespace zd::test {
namespace {

using namespace editor;

TEST_F(EditorTest, TrackBarsSetTheTimes) {
    open(1, kMonWedFri);  // 06:30 to 07:15
    st.timer.end = "2200";
    // Start and end, each in the fields and as shown.
    const auto times = [&] {
        return std::vector<std::string>{st.timer.start, g(kStartTimeText).text, st.timer.end, g(kEndTimeText).text};
    };
    ui.move_track(kStartHourBar, 7);
    ui.move_track(kEndMinuteBar, 5);
    run_loop();
    EXPECT_EQ(times(), (std::vector<std::string>{"0730", "07:30", "2205", "22:05"}));

    ui.move_track(kStartMinuteBar, 59);
    ui.move_track(kEndHourBar, 23);
    run_loop();
    EXPECT_EQ(times(), (std::vector<std::string>{"0759", "07:59", "2305", "23:05"}));
}

TEST_F(EditorTest, TargetBoxesSetTheirFlag) {
    open(1, "W00000000051000063000071500");  // targets 1000
    ASSERT_EQ(st.timer.targets, "1000");
    const struct {
        std::vector<int> clicks;
        const char* targets;
    } steps[] = {{{kLsbTarget}, "1001"},
                 {{kTape1Target}, "0001"},
                 {{kTape2Target, kLsaTarget}, "0111"},
                 {{kTape2Target}, "0011"}};
    for (const auto& step : steps) {
        for (int id : step.clicks) ui.click(id);
        run_loop();
        EXPECT_EQ(st.timer.targets, step.targets);
    }
}

TEST_F(EditorTest, DayBoxesSetTheirFlag) {
    open(1, "E");
    const struct {
        int box;
        int day;
    } boxes[] = {{7, kMonday},   {8, kTuesday}, {9, kWednesday}, {10, kThursday},
                 {11, kFriday}, {12, kSaturday}, {13, kSunday}};
    for (const auto& b : boxes) {
        SCOPED_TRACE(b.box);
        ui.click(b.box);
        run_loop();
        EXPECT_EQ(st.timer.days[b.day], "1");
        ui.click(b.box);
        run_loop();
        EXPECT_EQ(st.timer.days[b.day], "0");
    }
    ui.click(kSundayBox);
    ui.click(kWednesdayBox);
    run_loop();
    EXPECT_EQ(built_record(), "W10010000000000000000000000");
}

TEST_F(EditorTest, DateFieldTakesThePickedDate) {
    open(1, "E");
    ui.click(kDateModeOption);
    ui.pick_date(kDateField, 2006, 3, 24);
    run_loop();
    EXPECT_EQ(st.timer.kind, "D");
    EXPECT_EQ(st.timer.date, "240306");
    EXPECT_EQ(g(kDateField).date_display, "24.03.06");
    ui.pick_date(kDateField, 2010, 12, 5);
    run_loop();
    EXPECT_EQ(st.timer.date, "051210");
    EXPECT_EQ(g(kDateField).date_display, "05.12.10");
    EXPECT_EQ(built_record(), "D0512100000000000000000000");
}

TEST_F(EditorTest, ModeOptionsSwitchTheKind) {
    open(1, "E");
    ui.click(kDateModeOption);
    run_loop();
    EXPECT_EQ(st.timer.kind, "D");
    EXPECT_TRUE(g(kDateField).enabled);
    EXPECT_EQ(g(kDateField).date_display, "08.12.26");  // today's date
    for (int id = 7; id <= 13; ++id) EXPECT_FALSE(g(id).enabled);
    ui.click(kWeekdayModeOption);
    run_loop();
    EXPECT_EQ(st.timer.kind, "W");
    EXPECT_FALSE(g(kDateField).enabled);
    for (int id = 7; id <= 13; ++id) EXPECT_TRUE(g(id).enabled);
}

TEST_F(EditorTest, DaysAfterADateRecordAreCheckedOnlyWhereTheFlagIsOne) {
    // 11 January 2006: the flags receive "1", "1", "0", "1", "0", "6", " ".
    open(1, "D1101060121000200000213000");
    ui.click(kWeekdayModeOption);
    run_loop();
    EXPECT_EQ(checked_days(), (std::vector<int>{7, 9, 13}));  // Mo, Mi, So
    ui.click(kWriteButton);
    run_loop();
    EXPECT_EQ(port.writes[1], "0E01W1101000" "0121000200000213000" "\r");
}

TEST_F(EditorTest, SourceOptionsAndStationList) {
    open(1, "W00000000051000063000071500");
    ui.click(kPhonoOption);
    run_loop();
    EXPECT_EQ(st.timer.source, "4");
    EXPECT_EQ(st.timer.station, "00");
    EXPECT_FALSE(visible(kStationList));
    EXPECT_EQ(g(kStationLabel).text, "");
    ui.click(kTunerOption);
    run_loop();
    EXPECT_EQ(st.timer.source, "0");
    EXPECT_TRUE(visible(kStationList));
    EXPECT_EQ(g(kStationList).selected, 0);
    ui.choose_item(kStationList, 17);
    run_loop();
    EXPECT_EQ(st.timer.station, "17");
    ui.choose_item(kStationList, 5);
    run_loop();
    EXPECT_EQ(st.timer.station, "05");
    ui.click(kCdOption);
    run_loop();
    EXPECT_EQ(st.timer.source, "1");
    EXPECT_EQ(g(kStationLabel).text, "CD-Track:");
    EXPECT_EQ(g(kStationList).selected, 5);
    ui.click(kTape1Option);
    run_loop();
    EXPECT_EQ(st.timer.source, "2");
    ui.click(kTape2Option);
    run_loop();
    EXPECT_EQ(st.timer.source, "3");
}

// Timer 2 set up by hand to Monday, Wednesday, Friday, Tuner 05, LS-A, 06:30 to 07:15.
void edit_example(FakeUi& ui) {
    for (int id : {kMondayBox, kWednesdayBox, kFridayBox, kLsaTarget}) ui.click(id);
    ui.choose_item(kStationList, 5);
    ui.move_track(kStartHourBar, 6);
    ui.move_track(kStartMinuteBar, 30);
    ui.move_track(kEndHourBar, 7);
    ui.move_track(kEndMinuteBar, 15);
}

TEST_F(EditorTest, WriteSendsTheRecordAndReadsItBack) {
    open(2, "E");
    edit_example(ui);
    ui.click(kWriteButton);
    run_loop();
    ASSERT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(port.writes[1], "0E02W01010100050010063000071500\r");
    EXPECT_EQ(port.writes[1].size(), 32u);
    EXPECT_EQ(port.writes[2], "0C02\r");
    EXPECT_EQ(port.write_times[2] - port.write_times[1], 1000);  // silent: the full second
    EXPECT_EQ(st.timer.record, kMonWedFri);
    EXPECT_EQ(device['2'], kMonWedFri);
    EXPECT_EQ(g(kEmptyLabel).text, "");
    EXPECT_TRUE(visible(kEraseButton));
    EXPECT_TRUE(visible(kTestButton));
    const auto& texts = g(kStatusLine).texts;
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()),
              (std::vector<std::string>{"Sende Daten an B203...", "Abfrage Timer 2...", ""}));
    EXPECT_TRUE(ui.notes.empty());
}

TEST_F(EditorTest, WriteDoesNotDiscardPendingInput) {
    open(2, kMonWedFri);
    port.arrive(clock.now, "OK\r\n");
    ui.click(kWriteButton);
    run_loop();
    EXPECT_EQ(port.write_times[2] - port.write_times[1], 100);  // the queued line is the answer
    EXPECT_EQ(port.writes[2], "0C02\r");
}

TEST_F(EditorTest, AnyOtherAnswerReadsTheTimerBack) {
    write_answer = "OK";
    open(2, "E");
    ui.click(kMondayBox);
    ui.click(kWriteButton);
    run_loop();
    ASSERT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(port.writes[2], "0C02\r");
    EXPECT_TRUE(ui.notes.empty());
}

TEST_F(EditorTest, BelRefusesTheWrite) {
    write_answer = "\a";
    open(2, "E");
    edit_example(ui);
    ui.click(kWriteButton);
    run_loop();
    ASSERT_EQ(port.writes.size(), 2u);  // nothing read back
    EXPECT_EQ(st.last_reply, "\a");
    EXPECT_EQ(ui.notes, std::vector<std::string>{"Die Daten wurden vom Controller\rmit einer Fehlermeldung quittiert !"});
    EXPECT_EQ(status(), "");
    EXPECT_EQ(g(kStatusLine).texts.back(), "");
    EXPECT_EQ(*(g(kStatusLine).texts.end() - 2), "Sende Daten an B203...");
    EXPECT_EQ(checked_days(), (std::vector<int>{7, 9, 11}));  // the edit stays
    EXPECT_EQ(g(kStartTimeText).text, "06:30");
    EXPECT_EQ(g(kEmptyLabel).text, "Timer ist leer !");
    EXPECT_EQ(device['2'], "E");
}

TEST_F(EditorTest, EraseWritesPausesAndReadsBack) {
    open(3, kCdRecord);
    ASSERT_TRUE(visible(kEraseButton));
    const long long before = clock.now;
    ui.click(kEraseButton);
    run_loop();
    ASSERT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(port.writes[1], "0E03E\r");
    EXPECT_EQ(port.write_times[1], before);
    EXPECT_EQ(port.write_times[2] - port.write_times[1], 1000);
    EXPECT_EQ(port.writes[2], "0C03\r");
    EXPECT_EQ(g(kEmptyLabel).text, "Timer ist leer !");
    EXPECT_FALSE(visible(kEraseButton));
    EXPECT_FALSE(visible(kTestButton));
    const auto& texts = g(kStatusLine).texts;
    EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()),
              (std::vector<std::string>{"Lösche Timer auf B203...", "Abfrage Timer 3...", ""}));
}

TEST_F(EditorTest, TestAsksAndSendsTheEditorsTimer) {
    open(3, kCdRecord);
    ui.click(kTestButton);
    run_loop();
    EXPECT_EQ(ui.questions, std::vector<std::string>{"Zendrill|Timer 3 wirklich testen?"});
    EXPECT_EQ(port.writes.size(), 1u);  // No: nothing sent

    ui.yes_no_answers.push_back(true);
    ui.click(kSaturdayBox);  // an edit not yet written
    ui.click(kTestButton);
    const long long before = clock.now;
    run_loop();
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(port.writes[1], "0V03W01010111050011063000071500\r");
    EXPECT_EQ(clock.now, before);  // nothing read
    EXPECT_EQ(status(), "");
}

TEST_F(EditorTest, TestAnswerStillQueuedIsReadByTheNextWrite) {
    test_answer = "\a";
    open(4, kMonWedFri);
    ui.yes_no_answers.push_back(true);
    ui.click(kTestButton);
    ui.click(kWriteButton);
    run_loop();
    EXPECT_EQ(ui.notes.size(), 1u);
    EXPECT_EQ(port.writes.back().substr(0, 4), "0E04");
}

TEST_F(EditorTest, ApplyingAnEmptyOrMalformedPresetChangesNothing) {
    open(1, kMonWedFri);
    st.config.presets[2] = "W0101010005001006300007150";    // 26 characters, "W"
    st.config.presets[3] = "X01010100050010063000071500";   // 27 characters, not "W"
    st.config.presets[4] = "D24030601210002000002130000";  // 27 characters, "D"
    for (int k : {1, 2, 3, 4}) {
        SCOPED_TRACE(k);
        ui.notes.clear();
        ui.choose_item(kPresetList, k);
        run_loop();
        EXPECT_EQ(ui.notes, std::vector<std::string>{"Ungültige Länge im Preset"});
        EXPECT_EQ(checked_days(), (std::vector<int>{7, 9, 11}));
        EXPECT_EQ(st.timer.start, "0630");
        EXPECT_EQ(g(kPresetList).selected, k);
    }
    EXPECT_EQ(port.writes.size(), 1u);
}

TEST_F(EditorTest, DatePresetSwitchesToDateMode) {
    open(2, "E");
    st.config.presets[5] = kDateRecord;
    ui.choose_item(kPresetList, 5);
    run_loop();
    EXPECT_TRUE(ui.notes.empty());
    EXPECT_EQ(st.timer.kind, "D");
    EXPECT_EQ(st.timer.date, "240306");
    EXPECT_TRUE(checked(kDateModeOption));
    EXPECT_TRUE(g(kDateField).enabled);
    EXPECT_EQ(g(kDateField).date_display, "24.03.06");
    EXPECT_EQ(checked_sources(), std::vector<int>{16});
    EXPECT_EQ(g(kStationList).selected, 12);
    EXPECT_EQ(checked_targets(), std::vector<int>{31});
    EXPECT_EQ(g(kStartTimeText).text, "20:00");
    EXPECT_EQ(checked_timer_option(), std::vector<int>{3});
    // Nothing sent; the empty-timer state and the selection stay.
    EXPECT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(g(kEmptyLabel).text, "Timer ist leer !");
    EXPECT_FALSE(visible(kEraseButton));
    EXPECT_EQ(g(kPresetList).selected, 5);
    EXPECT_EQ(built_record(), kDateRecord);
}

TEST_F(EditorTest, WeekdayPresetIsAppliedForTheCurrentTimer) {
    open(4, "E");
    st.config.presets[1] = kCdRecord;
    ui.choose_item(kPresetList, 1);
    run_loop();
    EXPECT_EQ(st.timer.number, "4");
    EXPECT_EQ(checked_days(), (std::vector<int>{7, 9, 11}));
    EXPECT_EQ(checked_sources(), std::vector<int>{17});
    EXPECT_EQ(checked_targets(), (std::vector<int>{33, 34}));
    EXPECT_EQ(g(kEndTimeText).text, "07:15");
}

TEST_F(EditorTest, PresetWithAnUnknownSourceSelectsNoSource) {
    open(1, kMonWedFri);
    st.config.presets[0] = "W01010107050010063000071500";
    ui.choose_item(kPresetList, 0);
    run_loop();
    EXPECT_TRUE(checked_sources().empty());
    EXPECT_FALSE(visible(kStationList));
    EXPECT_EQ(g(kStationLabel).text, "");
}

TEST_F(EditorTest, StorePresetKeepsTheName) {
    open(1, kMonWedFri);
    ui.choose_item(kPresetList, 4);  // empty slot: the note, the selection stays
    ui.click(kStorePresetButton);
    run_loop();
    EXPECT_EQ(ui.notes, std::vector<std::string>{"Ungültige Länge im Preset"});
    EXPECT_EQ(st.config.presets[4], kMonWedFri);
    EXPECT_EQ(st.config.preset_names[4], "4");
    EXPECT_EQ(g(kPresetList).items[4], "4");
    EXPECT_EQ(g(kPresetList).selected, 4);

    // Stored again from other fields: overwritten without a question.
    ui.click(kSundayBox);
    ui.click(kStorePresetButton);
    run_loop();
    EXPECT_EQ(st.config.presets[4], "W11010100050010063000071500");
    EXPECT_TRUE(ui.questions.empty());
}

TEST_F(EditorTest, StoredPresetAppliesBack) {
    device['1'] = kMonWedFri;
    device['2'] = kDateRecord;
    open(1);
    ui.click(kStorePresetButton);  // slot 0
    ui.click(3);                   // timer 2
    ui.choose_item(kPresetList, 0);
    run_loop();
    EXPECT_EQ(st.timer.kind, "W");
    EXPECT_EQ(checked_days(), (std::vector<int>{7, 9, 11}));
    EXPECT_EQ(st.timer.number, "2");
}

TEST_F(EditorTest, RenamePreset) {
    open(1, "E");
    ui.text_answers.push_back(std::string("Morgens"));
    ui.click(kRenamePresetButton);
    run_loop();
    EXPECT_EQ(ui.text_prompts,
              std::vector<std::string>{"Zendrill|Bitte die neue Bezeichnung für Preset 0 eingeben:|0"});
    EXPECT_EQ(st.config.preset_names[0], "Morgens");
    EXPECT_EQ(g(kPresetList).items[0], "Morgens");
    EXPECT_EQ(g(kPresetList).selected, 0);

    // Escape keeps the name.
    ui.click(kRenamePresetButton);
    run_loop();
    EXPECT_EQ(ui.text_prompts.back(), "Zendrill|Bitte die neue Bezeichnung für Preset 0 eingeben:|Morgens");
    EXPECT_EQ(st.config.preset_names[0], "Morgens");
    EXPECT_EQ(g(kPresetList).items[0], "Morgens");

    // An accepted empty text is a name.
    ui.select_item(kPresetList, 7);
    ui.text_answers.push_back(std::string(""));
    ui.click(kRenamePresetButton);
    run_loop();
    EXPECT_EQ(ui.text_prompts.back(), "Zendrill|Bitte die neue Bezeichnung für Preset 7 eingeben:|7");
    EXPECT_EQ(st.config.preset_names[7], "");
    EXPECT_EQ(g(kPresetList).items[7], "");
    EXPECT_EQ(g(kPresetList).selected, 7);
}

TEST_F(EditorTest, LabelsChangeNothing) {
    open(1, kMonWedFri);
    const auto writes = port.writes;
    const TimerFields before = st.timer;
    for (int id : {1, 21, 39, 44, 45, 46, 48, 49, 50, 51, 58}) ui.click(id);
    run_loop();
    EXPECT_EQ(port.writes, writes);
    EXPECT_EQ(built_record(), kMonWedFri);
    EXPECT_EQ(st.timer.start, before.start);
}

struct LeaveTest : EditorTest {
    void run_editor(int timer) {
        st.timer_number = timer;
        st.overview_mode = true;
        run_timer_editor(ctx);
    }
};

TEST_F(LeaveTest, BackButtonReturnsToTheMainWindow) {
    device['2'] = kMonWedFri;
    ui.click(kSundayBox);
    ui.then([&] {
        ui.window().x = 300;  // the user moved the editor
        ui.window().y = 200;
    });
    ui.then([&] {
        ui.click(kBackButton);
        ui.click(kSaturdayBox);  // left for the main loop
    });
    run_editor(2);
    ASSERT_EQ(ui.windows.size(), 3u);
    EXPECT_EQ(ui.windows[1].title, "B203 Timer bearbeiten");
    EXPECT_FALSE(ui.windows[1].open);
    EXPECT_EQ(ui.window().title, "Zendrill");
    EXPECT_TRUE(ui.window().open);
    EXPECT_EQ(ui.window().x, 300);
    EXPECT_EQ(ui.window().y, 200);
    EXPECT_EQ(st.win_x, 300);
    EXPECT_EQ(st.win_y, 200);
    EXPECT_FALSE(st.overview_mode);
    EXPECT_EQ(port.writes, (std::vector<std::string>{"0C02\r", "0X\r"}));
    EXPECT_EQ(st.timer.days[kSunday], "1");
    EXPECT_EQ(st.timer.days[kSaturday], "0");
    EXPECT_EQ(ui.g(kPane).text.substr(0, 9), "\rAbfrage ");  // the device status (silent here)
    const UiEvent next = ui.wait_event();
    EXPECT_EQ(next.kind, EventKind::Gadget);
    EXPECT_EQ(next.id, kSaturdayBox);
}

TEST_F(LeaveTest, CloseBoxEndsTheEditorOnly) {
    device['1'] = "E";
    ui.request_close();
    run_editor(1);
    EXPECT_EQ(ui.window().title, "Zendrill");
    EXPECT_TRUE(ui.window().open);
    EXPECT_FALSE(port.closed);
    EXPECT_TRUE(sys.files.empty());  // no configuration saved
    EXPECT_EQ(port.writes.back(), "0X\r");
    // The main loop carries on with the new main window.
    ui.click(kStatusButton);
    EXPECT_TRUE(handle_main_event(ctx, ui.wait_event()));
}

TEST_F(LeaveTest, MainWindowOpensTheEditorForTheButtonAndTheClickZones) {
    device['1'] = "E";
    device['4'] = "E";
    ui.click(kEditTimersButton);
    EXPECT_TRUE(handle_main_event(ctx, ui.wait_event()));
    EXPECT_EQ(port.writes.front(), "0C01\r");
    st.overview_mode = true;
    port.writes.clear();
    ui.press_mouse(65 * 4 - 34);  // top of zone 4
    EXPECT_TRUE(handle_main_event(ctx, ui.wait_event()));
    EXPECT_EQ(port.writes.front(), "0C04\r");
    EXPECT_EQ(ui.windows[ui.windows.size() - 2].title, "B203 Timer bearbeiten");
    EXPECT_EQ(ui.window().title, "Zendrill");
    EXPECT_FALSE(st.overview_mode);
}

}  // namespace
}  // namespace zd::test
