// The timer editor window: its gadgets, loading a timer and showing the fields.
#include "core/texts.h"
#include "device/clock_math.h"
#include "device/text_util.h"
#include "gui/main_window.h"
#include "gui/timer_editor_ids.h"
#include "gui/timer_editor_ops.h"

namespace zd::editor {

namespace {

struct GadgetRow {
    int id;
    GadgetKind kind;
    const char* caption;
    int x, y, w, h;
    int range_max;      // track bars (from 0)
    const Rgb* colour;  // caption colour on the window background, or none
};

constexpr GadgetKind kText = GadgetKind::Text;
constexpr GadgetKind kOption = GadgetKind::Option;
constexpr GadgetKind kCheck = GadgetKind::CheckBox;
constexpr GadgetKind kTrack = GadgetKind::TrackBar;
constexpr GadgetKind kButton = GadgetKind::Button;

// In creation order: consecutive options form one group.
const GadgetRow kGadgets[] = {
    {kStatusLine, kText, "", 10, 3, 490, 15, 0, &kOrange},
    {2, kOption, "1", 110, 30, 30, 20, 0, nullptr},
    {3, kOption, "2", 170, 30, 30, 20, 0, nullptr},
    {4, kOption, "3", 230, 30, 30, 20, 0, nullptr},
    {5, kOption, "4", 290, 30, 30, 20, 0, nullptr},
    {6, kOption, "5", 350, 30, 30, 20, 0, nullptr},
    {kTimerLabel, kText, "Timer:", 10, 33, 95, 20, 0, nullptr},
    {kMondayBox, kCheck, "Mo", 110, 70, 40, 20, 0, nullptr},
    {kTuesdayBox, kCheck, "Di", 170, 70, 40, 20, 0, nullptr},
    {kWednesdayBox, kCheck, "Mi", 230, 70, 40, 20, 0, nullptr},
    {kThursdayBox, kCheck, "Do", 290, 70, 40, 20, 0, nullptr},
    {kFridayBox, kCheck, "Fr", 350, 70, 40, 20, 0, nullptr},
    {kSaturdayBox, kCheck, "Sa", 410, 70, 40, 20, 0, nullptr},
    {kSundayBox, kCheck, "So", 470, 70, 40, 20, 0, nullptr},
    {kDateField, GadgetKind::DatePicker, "", 110, 100, 100, 20, 0, nullptr},
    {kTunerOption, kOption, "Tuner", 110, 140, 60, 20, 0, nullptr},
    {kCdOption, kOption, "CD", 190, 140, 60, 20, 0, nullptr},
    {kTape1Option, kOption, "Tape1", 270, 140, 60, 20, 0, nullptr},
    {kTape2Option, kOption, "Tape2", 350, 140, 60, 20, 0, nullptr},
    {kPhonoOption, kOption, "Phono", 430, 140, 60, 20, 0, nullptr},
    {kEmptyLabel, kText, "", 400, 30, 100, 30, 0, &kRed},
    {kStationLabel, kText, "", 10, 173, 90, 20, 0, nullptr},
    {kStationList, GadgetKind::DropDown, "", 110, 170, 170, 250, 0, nullptr},
    {kSourceLabel, kText, "Quelle:", 10, 143, 90, 20, 0, nullptr},
    {kTape1Target, kCheck, "Tape1", 110, 210, 60, 20, 0, nullptr},
    {kTape2Target, kCheck, "Tape2", 190, 210, 60, 20, 0, nullptr},
    {kLsaTarget, kCheck, "LS-A", 270, 210, 60, 20, 0, nullptr},
    {kLsbTarget, kCheck, "LS-B", 350, 210, 60, 20, 0, nullptr},
    {kStartHourBar, kTrack, "", 170, 250, 168, 30, 23, nullptr},
    {kStartMinuteBar, kTrack, "", 100, 290, 400, 30, 59, nullptr},
    {kEndHourBar, kTrack, "", 170, 330, 168, 30, 23, nullptr},
    {kEndMinuteBar, kTrack, "", 100, 370, 400, 30, 59, nullptr},
    {kStartTimeText, kText, "00:00", 110, 260, 60, 20, 0, nullptr},
    {kEndTimeText, kText, "00:00", 110, 340, 60, 20, 0, nullptr},
    {kWeekdayModeOption, kOption, "Tag(e):", 10, 70, 90, 20, 0, nullptr},
    {kDateModeOption, kOption, "Datum:", 10, 100, 90, 20, 0, nullptr},
    {kTargetsLabel, kText, "Ziel(e):", 10, 213, 90, 20, 0, nullptr},
    {kStartLabel, kText, "Start:", 10, 260, 90, 20, 0, nullptr},
    {kEndLabel, kText, "Ende:", 10, 340, 90, 20, 0, nullptr},
    {kEraseButton, kButton, "Löschen!!", 5, 420, 85, 20, 0, &kRed},
    {kWriteButton, kButton, "an B203 senden", 5, 450, 135, 20, 0, &kGreen},
    {kBackButton, kButton, "Zurück", 145, 450, 60, 20, 0, nullptr},
    {kPresetList, GadgetKind::DropDown, "", 210, 420, 315, 180, 0, nullptr},
    {kStorePresetButton, kButton, "als Preset merken", 370, 450, 155, 20, 0, nullptr},
    {kRenamePresetButton, kButton, "Presetname ändern", 210, 450, 155, 20, 0, nullptr},
    {kSettingsFrame, GadgetKind::Frame, "", 5, 15, 520, 395, 0, nullptr},
    {kTestButton, kButton, "Timer testen", 95, 420, 110, 20, 0, &kBlue},
};

constexpr int kDayBoxes[7] = {kSundayBox,    kMondayBox, kTuesdayBox,  kWednesdayBox,
                              kThursdayBox, kFridayBox, kSaturdayBox};  // by Weekday

bool is_source_digit(const std::string& source) {
    return source.size() == 1 && source[0] >= '0' && source[0] <= '4';
}

int number_of(const std::string& text, std::size_t pos) {
    return static_cast<int>(leading_number(mid(text, pos, 2)));
}

// The slot of the first well-formed preset that ends the reply as received.
int matching_preset(const Config& config, const std::string& raw_reply) {
    for (int k = 0; k < kPresetCount; ++k) {
        const std::string& preset = config.presets[k];
        if (!is_well_formed_record(preset) || raw_reply.size() < preset.size()) continue;
        if (raw_reply.compare(raw_reply.size() - preset.size(), preset.size(), preset) == 0) return k;
    }
    return -1;
}

}  // namespace

std::string time_text(const std::string& hhmm) { return hh_mm(hhmm); }

std::string date_display(const std::string& ddmmyy) {
    return mid(ddmmyy, 1, 2) + "." + mid(ddmmyy, 3, 2) + "." + mid(ddmmyy, 5, 2);
}

void create_editor_gadgets(Context& ctx) {
    Ui& ui = ctx.ui;
    for (const GadgetRow& row : kGadgets) {
        ui.add_gadget(gadget_spec(row.id, row.kind, row.x, row.y, row.w, row.h, row.caption,
                                  row.range_max));
        if (row.colour) ui.set_colours(row.id, *row.colour, ctx.st.background);
    }
    for (int k = 0; k < kPresetCount; ++k) ui.add_item(kPresetList, ctx.st.config.preset_names[k]);
    ui.select_item(kPresetList, 0);
    for (int n = 0; n < kStationCount; ++n) ui.add_item(kStationList, " ");
}

bool open_editor(Context& ctx) {
    AppState& st = ctx.st;
    ctx.ui.window_position(st.win_x, st.win_y);
    ctx.ui.close_window();
    if (!ctx.ui.open_window(kEditorTitle, st.win_x, st.win_y, kClientWidth, kClientHeight)) return false;
    st.background = ctx.ui.sample_pixel(20, 20);
    create_editor_gadgets(ctx);

    st.timer.number = std::to_string(st.timer_number);
    st.last_reply = own_reply(st.timer.number, kDefaultRecord);
    parse_timer_reply(st.timer, st.last_reply);
    show_timer_fields(ctx);
    load_timer(ctx);
    return true;
}

void load_timer(Context& ctx) {
    AppState& st = ctx.st;
    Ui& ui = ctx.ui;
    const std::string number = std::to_string(st.timer_number);
    ui.set_text(kStatusLine, "Abfrage Timer " + number + "...");
    // Presets are matched against the reply as received, before a date
    // record is normalised.
    const TimerReading reading = read_timer_state(ctx.link, st.timer, st.timer_number);
    const std::string& raw_reply = reading.raw_reply;
    st.last_reply = reading.last_reply;

    if (reading.state == TimerState::Empty) {
        ui.set_visible(kEraseButton, false);
        ui.set_visible(kTestButton, false);
        ui.set_text(kEmptyLabel, "Timer ist leer !");
        ui.set_text(kStatusLine, "");
        return;
    }
    ui.set_visible(kEraseButton, true);
    ui.set_visible(kTestButton, true);
    ui.set_text(kEmptyLabel, "");
    show_timer_fields(ctx);
    const int preset = matching_preset(st.config, raw_reply);
    if (preset >= 0) ui.select_item(kPresetList, preset);
    // A failed read must not pass for the timer shown.
    ui.set_text(kStatusLine, st.last_reply.empty() ? "Abfrage Timer " + number + " fehlgeschlagen!" : "");
}

void show_timer_fields(Context& ctx) {
    AppState& st = ctx.st;
    Ui& ui = ctx.ui;
    const TimerFields& f = st.timer;
    if (st.timer_number >= 1 && st.timer_number <= 5) ui.set_checked(kTimerOption1 + st.timer_number - 1, true);
    show_timer_days(ctx);
    if (is_source_digit(f.source)) {
        ui.set_checked(kTunerOption + (f.source[0] - '0'), true);
    } else {
        // Not a source this device knows: no option stands for it.
        for (int id = kTunerOption; id <= kPhonoOption; ++id) ui.set_checked(id, false);
    }
    show_station_list(ctx);
    const int targets[4] = {kTape1Target, kTape2Target, kLsaTarget, kLsbTarget};
    for (std::size_t i = 0; i < 4; ++i) ui.set_checked(targets[i], mid(f.targets, i + 1, 1) == "1");
    ui.set_track_position(kStartHourBar, number_of(f.start, 1));
    ui.set_track_position(kStartMinuteBar, number_of(f.start, 3));
    ui.set_track_position(kEndHourBar, number_of(f.end, 1));
    ui.set_track_position(kEndMinuteBar, number_of(f.end, 3));
    ui.set_text(kStartTimeText, time_text(f.start));
    ui.set_text(kEndTimeText, time_text(f.end));
}

void show_timer_days(Context& ctx) {
    TimerFields& f = ctx.st.timer;
    Ui& ui = ctx.ui;
    if (f.kind == "D") {
        // The boxes keep their marks while the date counts.
        for (int id : kDayBoxes) ui.set_enabled(id, false);
        ui.set_enabled(kDateField, true);
        ui.set_date_display(kDateField, date_display(f.date));
        ui.set_checked(kDateModeOption, true);
        return;
    }
    f.kind = "W";
    ui.set_enabled(kDateField, false);
    for (int id : kDayBoxes) ui.set_enabled(id, true);
    ui.set_checked(kWeekdayModeOption, true);
    for (int d = 0; d < 7; ++d) ui.set_checked(kDayBoxes[d], f.days[d] == "1");
}

void show_station_list(Context& ctx) {
    TimerFields& f = ctx.st.timer;
    Ui& ui = ctx.ui;
    if (f.station.size() == 1) f.station = "0" + f.station;
    if (leading_number(f.station) > 29) f.station = "29";
    bool shown = true;
    if (f.source == "0") {
        for (int n = 0; n < kStationCount; ++n)
            ui.set_item_text(kStationList, n, std::to_string(n) + " " + ctx.st.config.stations[n]);
        ui.set_text(kStationLabel, "Station:");
    } else if (f.source == "1") {
        ui.set_text(kStationLabel, "CD-Track:");
        for (int n = 0; n < kStationCount; ++n) ui.set_item_text(kStationList, n, "Track " + std::to_string(n));
    } else {
        f.station = "00";
        ui.set_text(kStationLabel, "");
        shown = false;
    }
    ui.select_item(kStationList, static_cast<int>(leading_number(f.station)));
    ui.set_visible(kStationList, shown);
}

}  // namespace zd::editor
