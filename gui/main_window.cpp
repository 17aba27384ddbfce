#include "gui/main_window.h"

#include "core/companion_file.h"
#include "core/version.h"
#include "gui/companion.h"
#include "gui/console.h"
#include "gui/port_scan.h"
#include "gui/settings_window.h"
#include "gui/startup.h"
#include "gui/status_report.h"
#include "gui/timer_editor.h"
#include "gui/timer_overview.h"

namespace zd {

namespace {

void add(Ui& ui, int id, GadgetKind kind, int x, int y, int w, int h, const std::string& caption) {
    ui.add_gadget(gadget_spec(id, kind, x, y, w, h, caption));
}

void show_about(Context& ctx) {
    ctx.ui.show_note("Zendrill " ZD_VERSION_TEXT
                     "\rBedienprogramm für den Timer-Controller B203"
                     "\rüber die serielle Schnittstelle.");
}

void open_editor_for(Context& ctx, int timer) {
    ctx.st.timer_number = timer;
    run_timer_editor(ctx);
}

}  // namespace

void build_main_window(Context& ctx) {
    Ui& ui = ctx.ui;
    AppState& st = ctx.st;
    if (!ui.open_window("Zendrill", st.win_x, st.win_y, kClientWidth, kClientHeight)) return;
    st.background = ui.sample_pixel(100, 100);
    add(ui, kPane, GadgetKind::Text, 30, 20, 486, 340, "");
    ui.set_colours(kPane, kGreen, st.background);
    add(ui, kAboutButton, GadgetKind::Button, 230, 410, 60, 20, "über...");
    add(ui, kEditTimersButton, GadgetKind::Button, 10, 380, 210, 20, "Timer bearbeiten...");
    add(ui, kOverviewButton, GadgetKind::Button, 10, 410, 210, 20, "Übersicht Timer 1 - 5");
    add(ui, kStatusButton, GadgetKind::Button, 10, 440, 210, 20, "B203 Gerätestatus");
    add(ui, kScanButton, GadgetKind::Button, 300, 380, 220, 20, "alle Ports abfragen");
    add(ui, kConsoleButton, GadgetKind::Button, 300, 410, 220, 20, "String an B203 senden");
    add(ui, kSettingsButton, GadgetKind::Button, 300, 440, 180, 20, "B203 Einstellungen...");
    add(ui, kQuickModeButton, GadgetKind::Button, 480, 440, 40, 20, "**");
    ui.set_colours(kQuickModeButton, kGreen, st.background);
    add(ui, kEndButton, GadgetKind::Button, 230, 440, 60, 20, "Ende");
    ui.set_colours(kEndButton, kRed, st.background);
    st.last_main_button = kEndButton;
    if (ctx.sys.file_exists(kCompanionProgramName)) {
        add(ui, kCompanionButton, GadgetKind::Button, 230, 380, 60, 20, "Parvolet");
        st.last_main_button = kCompanionButton;
    }
    add(ui, kPaneFrame, GadgetKind::Frame, 10, 9, 510, 358, "");
}

void set_pane(Context& ctx, const std::string& text) { ctx.ui.set_text(kPane, text); }

void enable_main_buttons(Context& ctx, bool enabled) {
    for (int id = kAboutButton; id <= ctx.st.last_main_button; ++id) ctx.ui.set_enabled(id, enabled);
}

void return_to_main_window(Context& ctx) {
    ctx.ui.window_position(ctx.st.win_x, ctx.st.win_y);
    ctx.ui.close_window();
    ctx.st.overview_mode = false;
    build_main_window(ctx);
    show_device_status(ctx);
}

int click_zone_timer(int client_y, int line_height) {
    if (line_height <= 0) line_height = 13;
    for (int k = 1; k <= 5; ++k) {
        // Entry k's first line is pane line 5k - 4 (counted from 0); its zone
        // reaches from 2 px above that line to 2 px below its third line.
        const int top = kPaneTop + (5 * k - 4) * line_height;
        if (client_y >= top - 2 && client_y <= top + 3 * line_height + 2) return k;
    }
    return 0;
}

void end_program(Context& ctx) {
    close_device_link(ctx.link);
    save_configuration(ctx);
}

bool handle_main_event(Context& ctx, const UiEvent& event) {
    AppState& st = ctx.st;
    switch (event.kind) {
        case EventKind::CloseRequest:
            end_program(ctx);
            return false;
        case EventKind::LeftButtonDown:
            if (st.overview_mode) {
                const int timer = click_zone_timer(event.client_y, ctx.ui.line_height(kPane));
                if (timer > 0) open_editor_for(ctx, timer);
            }
            return true;
        case EventKind::Gadget:
            break;
    }
    switch (event.id) {
        case kAboutButton:
            show_about(ctx);
            break;
        case kEditTimersButton:
            open_editor_for(ctx, 1);
            break;
        case kOverviewButton:
            show_timer_overview(ctx);
            st.overview_mode = true;
            break;
        case kStatusButton:
            show_device_status(ctx);
            st.overview_mode = false;
            break;
        case kScanButton:
            scan_ports(ctx);
            export_scan_result(ctx);
            st.overview_mode = false;
            break;
        case kConsoleButton:
            send_free_command(ctx);
            break;
        case kSettingsButton:
            run_settings_window(ctx);
            st.overview_mode = false;
            break;
        case kQuickModeButton:
            send_quick_mode(ctx);
            break;
        case kEndButton:
            end_program(ctx);
            return false;
        case kCompanionButton:
            if (st.last_main_button == kCompanionButton) {
                start_companion(ctx);
                return false;
            }
            break;
        default:
            break;
    }
    return true;
}

}  // namespace zd
