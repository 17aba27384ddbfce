#pragma once
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "device/status_record.h"
#include "gui/main_window.h"
#include "gui/timer_editor_ids.h"
#include "gui/timer_editor_ops.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"
#include "tests/fakes/fake_ui.h"
#include "tests/fakes/screen_rig.h"

namespace zd::test {

// A main window on a fake line with a small B203 behind it that keeps
// five timers, answers reads, takes writes and erases.
struct EditorTest : ::testing::Test, ScreenRig {

    std::map<char, std::string> device;  // timer digit -> record, "E" when empty; absent: silent
    std::string write_answer;            // the line answering a written record; empty: none
    std::string test_answer;             // the line answering a test command; empty: none

    EditorTest() {
        st.today = "081226";
        st.timer.date = st.today;
        for (int k = 0; k < kPresetCount; ++k) st.config.preset_names[k] = std::to_string(k);
        st.win_x = 40;
        st.win_y = 60;
        build_main_window(ctx);
        port.on_write = [this](const std::string& w) { answer(w); };
    }

    void answer(const std::string& w) {
        if (w.size() == 5 && w.compare(0, 3, "0C0") == 0) {
            auto it = device.find(w[3]);
            if (it != device.end()) port.arrive_after(30, "0500" + std::string(1, w[3]) + it->second + "\r\n");
        } else if (w.size() >= 6 && w.compare(0, 3, "0E0") == 0) {
            const std::string body = w.substr(4, w.size() - 5);
            if (body == "E") {
                device[w[3]] = "E";
                return;
            }
            if (write_answer != "\a") device[w[3]] = body;
            if (!write_answer.empty()) port.arrive_after(30, write_answer + "\r\n");
        } else if (w.compare(0, 3, "0V0") == 0 && !test_answer.empty()) {
            port.arrive_after(30, test_answer + "\r\n");
        }
    }

    void open(int timer) {
        st.timer_number = timer;
        ASSERT_TRUE(editor::open_editor(ctx));
    }
    // Opens the editor on `timer`, which the device holds as `record`.
    void open(int timer, const std::string& record) {
        device[static_cast<char>('0' + timer)] = record;
        open(timer);
    }
    void run_loop() { editor::run_editor_loop(ctx); }
    // The record the editor's fields make now.
    std::string built_record() {
        build_timer_record(st.timer);
        return st.timer.record;
    }
    FakeUi::Gadget& g(int id) { return ui.g(id); }
    bool checked(int id) { return ui.g(id).checked; }
    bool visible(int id) { return ui.g(id).visible; }
    std::string status() { return ui.g(editor::kStatusLine).text; }
    // Ids of the checked gadgets among `ids`.
    std::vector<int> checked_among(std::initializer_list<int> ids) {
        std::vector<int> out;
        for (int id : ids)
            if (ui.g(id).checked) out.push_back(id);
        return out;
    }
    std::vector<int> checked_days() { return checked_among({7, 8, 9, 10, 11, 12, 13}); }
    std::vector<int> checked_sources() { return checked_among({16, 17, 18, 19, 20}); }
    std::vector<int> checked_targets() { return checked_among({31, 32, 33, 34}); }
    std::vector<int> checked_timer_option() { return checked_among({2, 3, 4, 5, 6}); }
};

// Timer 2: Monday, Wednesday, Friday, Tuner 05, LS-A, 06:30 to 07:15.
constexpr const char* kMonWedFri = "W01010100050010063000071500";
// Timer 3: Monday, Wednesday, Friday, CD 05, LS-A and LS-B, 06:30 to 07:15.
constexpr const char* kCdRecord = "W01010101050011063000071500";
// 24 March 2006, Tuner 12, Tape1, 20:00 to 21:30.
constexpr const char* kDateRecord = "D2403060121000200000213000";

}  // namespace zd::test
