#pragma once
#include <string>

#include "core/config.h"
#include "device/link.h"
#include "device/status_record.h"
#include "device/timer_record.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace zd {

constexpr int kAddressCount = 10;

// Everything the tool keeps while it runs.
struct AppState {
    Config config;
    ValueNames names;
    std::string today;  // DDMMYY, taken once when the configuration is loaded
    std::string last_reply;
    std::string settings_string;
    int timer_number = 1;
    TimerFields timer;
    std::string port_identifiers[kAddressCount];
    int port_flags[kAddressCount] = {};
    int win_x = 0, win_y = 0;  // outer position at which windows open
    bool overview_mode = false;
    int last_main_button = 13;
    Rgb background;  // sampled by the main window and the timer editor right after they open
};

// What every screen works with, passed explicitly.
struct Context {
    Ui& ui;
    DeviceLink& link;
    System& sys;
    Clock& clock;
    AppState& st;
};

}  // namespace zd
