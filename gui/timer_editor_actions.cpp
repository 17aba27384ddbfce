// The timer editor's loop, its gadget handlers and its device and preset actions.
#include "core/texts.h"
#include "device/clock_math.h"
#include "device/commands.h"
#include "device/text_util.h"
#include "gui/main_window.h"
#include "gui/status_report.h"
#include "gui/timer_editor.h"
#include "gui/timer_editor_ids.h"
#include "gui/timer_editor_ops.h"

namespace zd {

namespace editor {

namespace {

// Gadgets whose events change something; labels and the frame do not.
bool is_handled(int id) {
    return (id >= kTimerOption1 && id <= kPhonoOption) || id == kStationList ||
           (id >= kTape1Target && id <= kLsbTarget) || (id >= kStartHourBar && id <= kEndMinuteBar) ||
           id == kDateModeOption || (id >= kEraseButton && id <= kRenamePresetButton) || id == kTestButton;
}

std::string flag(bool set) { return set ? "1" : "0"; }

// Day flag index (Weekday) of the boxes 7..13, which start with Monday.
int day_of_box(int id) { return id == kSundayBox ? kSunday : kMonday + (id - kMondayBox); }

void set_target(Context& ctx, int id) {
    std::string& t = ctx.st.timer.targets;
    const std::size_t i = static_cast<std::size_t>(id - kTape1Target);
    t = mid(t, 1, i) + flag(ctx.ui.is_checked(id)) + mid(t, i + 2, 3 - i);
}

void set_time_from_bar(Context& ctx, int id) {
    const bool start = id == kStartHourBar || id == kStartMinuteBar;
    const bool hour = id == kStartHourBar || id == kEndHourBar;
    std::string& field = start ? ctx.st.timer.start : ctx.st.timer.end;
    const std::string value = two_digit(ctx.ui.track_position(id));
    field = hour ? value + mid(field, 3, 2) : mid(field, 1, 2) + value;
    ctx.ui.set_text(start ? kStartTimeText : kEndTimeText, time_text(field));
}

void set_date_from_field(Context& ctx) {
    const PickedDate d = ctx.ui.picked_date(kDateField);
    std::string& date = ctx.st.timer.date;
    date = date_ddmmyy(d.day, d.month, d.year);
    ctx.ui.set_date_display(kDateField, date_display(date));
}

void set_station_from_list(Context& ctx) {
    const int item = ctx.ui.selected_item(kStationList);
    if (item >= 0) ctx.st.timer.station = two_digit(item);
}

}  // namespace

void write_timer(Context& ctx) {
    AppState& st = ctx.st;
    ctx.ui.set_text(kStatusLine, "Sende Daten an B203...");
    build_timer_record(st.timer);
    st.last_reply = write_timer_record(ctx.link, st.timer.number, st.timer.record);
    if (is_refusal(st.last_reply)) {
        ctx.ui.set_text(kStatusLine, "");
        ctx.ui.show_note(refused_text("\r"));
        return;
    }
    load_timer(ctx);
}

void erase_timer(Context& ctx) {
    ctx.ui.set_text(kStatusLine, "Lösche Timer auf B203...");
    erase_timer_record(ctx.link, ctx.clock, ctx.st.timer.number);
    load_timer(ctx);
}

void test_timer(Context& ctx) {
    TimerFields& f = ctx.st.timer;
    if (!ctx.ui.ask_yes_no("Zendrill", "Timer " + f.number + " wirklich testen?")) return;
    // The timer as the editor shows it, not whatever was composed last.
    build_timer_record(f);
    write_command(ctx.link, cmd::test_timer(f.number, f.record));
}

void apply_preset(Context& ctx) {
    AppState& st = ctx.st;
    const int k = ctx.ui.selected_item(kPresetList);
    if (k < 0 || k >= kPresetCount) return;
    const std::string& preset = st.config.presets[k];
    if (!is_well_formed_record(preset)) {
        ctx.ui.show_note("Ungültige Länge im Preset");
        return;
    }
    st.timer.number = std::to_string(st.timer_number);
    st.last_reply = own_reply(st.timer.number, preset);
    parse_timer_reply(st.timer, st.last_reply);
    show_timer_fields(ctx);
}

void store_preset(Context& ctx) {
    AppState& st = ctx.st;
    build_timer_record(st.timer);
    const int k = ctx.ui.selected_item(kPresetList);
    if (k < 0 || k >= kPresetCount) return;
    st.config.presets[k] = st.timer.record;
}

void rename_preset(Context& ctx) {
    Config& config = ctx.st.config;
    const int k = ctx.ui.selected_item(kPresetList);
    if (k < 0 || k >= kPresetCount) return;
    const auto name = ctx.ui.ask_text(
        "Zendrill", "Bitte die neue Bezeichnung für Preset " + std::to_string(k) + " eingeben:",
        config.preset_names[k]);
    // Cancelling keeps the old name; an accepted empty text is a name too.
    if (!name) return;
    config.preset_names[k] = *name;
    ctx.ui.set_item_text(kPresetList, k, *name);
    ctx.ui.select_item(kPresetList, k);
}

// The buttons and the preset list: one action each.
const struct {
    int id;
    void (*run)(Context&);
} kActions[] = {{kEraseButton, erase_timer},        {kWriteButton, write_timer},
                {kPresetList, apply_preset},         {kStorePresetButton, store_preset},
                {kRenamePresetButton, rename_preset}, {kTestButton, test_timer}};

bool handle_editor_event(Context& ctx, const UiEvent& event) {
    if (event.kind == EventKind::CloseRequest) return false;
    if (event.kind != EventKind::Gadget) return true;
    const int id = event.id;
    if (id == kBackButton) return false;
    if (!is_handled(id)) return true;

    TimerFields& f = ctx.st.timer;
    Ui& ui = ctx.ui;
    // A failure shown in the status line stands until the user does something.
    if (!ui.text(kStatusLine).empty()) ui.set_text(kStatusLine, "");

    if (id >= kTimerOption1 && id <= kTimerOption5) {
        ctx.st.timer_number = id - 1;
        load_timer(ctx);
    } else if (id >= kMondayBox && id <= kSundayBox) {
        f.days[day_of_box(id)] = flag(ui.is_checked(id));
    } else if (id == kWeekdayModeOption || id == kDateModeOption) {
        f.kind = id == kWeekdayModeOption ? "W" : "D";
        show_timer_days(ctx);
    } else if (id == kDateField) {
        set_date_from_field(ctx);
    } else if (id >= kTunerOption && id <= kPhonoOption) {
        f.source = std::to_string(id - kTunerOption);
        show_station_list(ctx);
    } else if (id == kStationList) {
        set_station_from_list(ctx);
    } else if (id >= kTape1Target && id <= kLsbTarget) {
        set_target(ctx, id);
    } else if (id >= kStartHourBar && id <= kEndMinuteBar) {
        set_time_from_bar(ctx, id);
    } else {
        for (const auto& a : kActions)
            if (a.id == id) a.run(ctx);
    }
    return true;
}

void run_editor_loop(Context& ctx) {
    while (handle_editor_event(ctx, ctx.ui.wait_event())) {
    }
}

}  // namespace editor

void run_timer_editor(Context& ctx) {
    if (!editor::open_editor(ctx)) {
        // No editor window: the main window comes back in its place.
        ctx.st.overview_mode = false;
        build_main_window(ctx);
        show_device_status(ctx);
        return;
    }
    editor::run_editor_loop(ctx);
    return_to_main_window(ctx);
}

}  // namespace zd
