#include "gui/settings_window.h"

#include <vector>

#include "gui/main_window.h"
#include "gui/settings_window_actions.h"
#include "gui/status_report.h"

namespace zd {

namespace {

constexpr int kSettingsLength = 4;

struct GadgetRow {
    int id;
    GadgetKind kind;
    int x, y, w, h;
    const char* caption;
    bool green;
};

// In the order of creation.
const GadgetRow kGadgets[] = {
    {kSetStatusLine, GadgetKind::Text, 10, 10, 300, 20, "", false},
    {kSetLanguageLabel, GadgetKind::Text, 20, 65, 150, 20, "Sprache:", false},
    {kSetEasyLabel, GadgetKind::Text, 20, 115, 150, 20, "Easy Funktion:", false},
    {kSetTimerLabel, GadgetKind::Text, 20, 165, 150, 20, "Timer:", false},
    {kSetPowerOnLabel, GadgetKind::Text, 20, 215, 150, 20, "Einschaltbedingung:", false},
    {kSetLanguageBox, GadgetKind::DropDown, 180, 60, 300, 180, "", false},
    {kSetEasyBox, GadgetKind::DropDown, 180, 110, 300, 180, "", false},
    {kSetTimerBox, GadgetKind::DropDown, 180, 160, 300, 180, "", false},
    {kSetPowerOnBox, GadgetKind::DropDown, 180, 210, 300, 180, "", false},
    {kSetSendButton, GadgetKind::Button, 30, 280, 200, 20, "an B203 senden", true},
    {kSetBackButton, GadgetKind::Button, 350, 440, 150, 20, "zum Hauptmenü", false},
    {kSetQuickModeButton, GadgetKind::Button, 280, 280, 220, 20, "als Quickmodus merken (**)", false},
    {kSetTimeButton, GadgetKind::Button, 10, 360, 150, 20, "Zeit ändern...", false},
    {kSetDateButton, GadgetKind::Button, 180, 360, 150, 20, "Datum ändern...", false},
    {kSetIrOnButton, GadgetKind::Button, 350, 360, 150, 20, "IR einschalten", true},
    {kSetIrOffButton, GadgetKind::Button, 350, 390, 150, 20, "IR ausschalten", true},
    {kSetHourUpButton, GadgetKind::Button, 10, 390, 150, 20, "Zeit +1 Std", true},
    {kSetHourDownButton, GadgetKind::Button, 10, 420, 150, 20, "Zeit -1 Std", true},
    {kSetPcDateButton, GadgetKind::Button, 180, 390, 150, 20, "Datum PC > B203", true},
    {kSetPcTimeButton, GadgetKind::Button, 180, 420, 150, 20, "Zeit PC > B203", true},
    {kSetFrame, GadgetKind::Frame, 10, 29, 510, 300, "", false},
};

// The four boxes in the order of the settings string's positions.
const int kBoxes[kSettingsLength] = {kSetLanguageBox, kSetEasyBox, kSetTimerBox, kSetPowerOnBox};

const std::vector<std::string>& box_entries(const ValueNames& names, int position) {
    switch (position) {
        case 0: return names.languages;
        case 1: return names.easy_functions;
        case 2: return names.on_off;
        default: return names.power_on;
    }
}

void build_gadgets(Context& ctx) {
    for (const GadgetRow& row : kGadgets) {
        ctx.ui.add_gadget(gadget_spec(row.id, row.kind, row.x, row.y, row.w, row.h, row.caption));
        if (row.id == kSetStatusLine) ctx.ui.set_colours(row.id, kOrange, ctx.st.background);
        if (row.green) ctx.ui.set_colours(row.id, kGreen, ctx.st.background);
    }
}

// Without a status record since start-up the string starts as the first
// entries the boxes show. Otherwise the string stays exactly as the device
// reported it until a box changes; a code out of range leaves its box
// without a selection.
void fill_and_preset_boxes(Context& ctx) {
    std::string& settings = ctx.st.settings_string;
    if (settings.size() != kSettingsLength) settings = std::string(kSettingsLength, '0');
    for (int pos = 0; pos < kSettingsLength; ++pos) {
        const auto& entries = box_entries(ctx.st.names, pos);
        for (const auto& entry : entries) ctx.ui.add_item(kBoxes[pos], entry);
        ctx.ui.select_item(kBoxes[pos],
                           code_index(settings.substr(static_cast<std::size_t>(pos), 1), entries.size()));
    }
}

void box_changed(Context& ctx, int position) {
    const int index = ctx.ui.selected_item(kBoxes[position]);
    if (index < 0 || index > 9) return;
    ctx.st.settings_string[static_cast<std::size_t>(position)] = static_cast<char>('0' + index);
}

// False when the window is to close.
bool handle_gadget(Context& ctx, int id) {
    switch (id) {
        case kSetLanguageBox: box_changed(ctx, 0); break;
        case kSetEasyBox: box_changed(ctx, 1); break;
        case kSetTimerBox: box_changed(ctx, 2); break;
        case kSetPowerOnBox: box_changed(ctx, 3); break;
        case kSetSendButton: settings::send_settings(ctx); break;
        case kSetBackButton: return false;
        case kSetQuickModeButton: settings::remember_quick_mode(ctx); break;
        case kSetTimeButton: settings::ask_and_send_time(ctx); break;
        case kSetDateButton: settings::ask_and_send_date(ctx); break;
        case kSetIrOnButton: settings::send_ir(ctx, true); break;
        case kSetIrOffButton: settings::send_ir(ctx, false); break;
        case kSetHourUpButton: settings::shift_device_hour(ctx, true); break;
        case kSetHourDownButton: settings::shift_device_hour(ctx, false); break;
        case kSetPcDateButton: settings::send_pc_date(ctx); break;
        case kSetPcTimeButton: settings::send_pc_time(ctx); break;
        default: break;
    }
    return true;
}

}  // namespace

void run_settings_window(Context& ctx) {
    Ui& ui = ctx.ui;
    AppState& st = ctx.st;
    ui.window_position(st.win_x, st.win_y);
    ui.close_window();
    if (!ui.open_window("B203 Einstellungen ", st.win_x, st.win_y, kClientWidth, kClientHeight)) {
        // Nothing to show the settings in: stand the main window up again.
        st.overview_mode = false;
        build_main_window(ctx);
        show_device_status(ctx);
        return;
    }
    // The coloured captions keep the background sampled from the main window.
    build_gadgets(ctx);
    fill_and_preset_boxes(ctx);

    for (;;) {
        const UiEvent event = ui.wait_event();
        if (event.kind == EventKind::CloseRequest) break;
        if (event.kind == EventKind::Gadget && !handle_gadget(ctx, event.id)) break;
    }
    return_to_main_window(ctx);
}

}  // namespace zd
