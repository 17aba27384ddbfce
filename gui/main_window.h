#pragma once
#include "gui/state.h"

namespace zd {

// Main window gadget ids.
enum MainId {
    kPane = 1,
    kAboutButton = 5,
    kEditTimersButton = 6,
    kOverviewButton = 7,
    kStatusButton = 8,
    kScanButton = 9,
    kConsoleButton = 10,
    kSettingsButton = 11,
    kQuickModeButton = 12,
    kEndButton = 13,
    kCompanionButton = 14,
    kPaneFrame = 20,
};

constexpr int kClientWidth = 530;
constexpr int kClientHeight = 475;
constexpr Rgb kGreen{16, 144, 16};
constexpr Rgb kRed{255, 16, 16};
constexpr Rgb kOrange{255, 128, 16};
constexpr Rgb kBlue{16, 16, 208};
constexpr int kPaneTop = 20;

// Opens the main window at the window position with all its gadgets.
void build_main_window(Context& ctx);
// Sets the output pane's whole text.
void set_pane(Context& ctx, const std::string& text);
// Enables or disables the buttons 5 up to the last main button.
void enable_main_buttons(Context& ctx, bool enabled);
// Records the open screen's position, closes it, switches overview mode
// off, rebuilds the main window and shows the device status.
void return_to_main_window(Context& ctx);
// Timer 1..5 whose click zone holds client y, 0 for none. The zones follow
// the pane font's line height (13 px gives 31-74, 96-139, ... 291-334).
int click_zone_timer(int client_y, int line_height);
// Handles one main-window event; false when the program is to end.
bool handle_main_event(Context& ctx, const UiEvent& event);
// Closes the link and saves the configuration (with the window's position).
void end_program(Context& ctx);

}  // namespace zd
