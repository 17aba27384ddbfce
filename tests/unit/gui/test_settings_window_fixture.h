#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/main_window.h"
#include "gui/settings_window.h"
#include "gui/state.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"
#include "tests/fakes/fake_ui.h"
#include "tests/fakes/screen_rig.h"

namespace zd::test {

// A status record: three leading characters, date, time, settings, IR.
inline std::string status_record(const std::string& ddmmyy, const std::string& hhmmss,
                                 const std::string& settings = "1200", const std::string& ir = "0") {
    return "0X:" + ddmmyy + hhmmss + settings + ir;
}

// A main window standing, then the settings window run on scripted events.
struct SettingsRig : ScreenRig {
    std::string device_record;  // what the device answers to "0X\r"; empty: silent

    SettingsRig() {
        port.on_write = [this](const std::string& w) {
            if (w == "0X\r" && !device_record.empty()) port.arrive_after(0, device_record + "\r\n");
        };
        build_main_window(ctx);
    }

    void run() { run_settings_window(ctx); }
    FakeUi::Window& settings_window() { return ui.windows.at(1); }
    FakeUi::Gadget& sg(int id) { return settings_window().gadgets.at(id); }
    std::string status_line() { return sg(kSetStatusLine).text; }
    // Everything written while the settings window stood (the status
    // report of the rebuilt main window left out).
    std::vector<std::string> sent() {
        EXPECT_FALSE(port.writes.empty());
        if (port.writes.empty()) return {};
        EXPECT_EQ(port.writes.back(), "0X\r");
        return {port.writes.begin(), port.writes.end() - 1};
    }
};

struct SettingsWindowTest : ::testing::Test, SettingsRig {};

}  // namespace zd::test
