#pragma once
#include "gui/state.h"

namespace zd {

// Settings window gadget ids.
enum SettingsId {
    kSetLanguageLabel = 1,
    kSetEasyLabel = 2,
    kSetTimerLabel = 3,
    kSetPowerOnLabel = 4,
    kSetLanguageBox = 6,
    kSetEasyBox = 7,
    kSetTimerBox = 8,
    kSetPowerOnBox = 9,
    kSetSendButton = 10,
    kSetBackButton = 11,
    kSetQuickModeButton = 12,
    kSetTimeButton = 13,
    kSetDateButton = 14,
    kSetIrOnButton = 15,
    kSetIrOffButton = 16,
    kSetFrame = 17,
    kSetHourUpButton = 18,
    kSetHourDownButton = 19,
    kSetPcDateButton = 20,
    kSetPcTimeButton = 21,
    kSetStatusLine = 25,
};

// Opens the settings window in place of the main window and runs it until
// the user goes back, then rebuilds the main window.
void run_settings_window(Context& ctx);

}  // namespace zd
