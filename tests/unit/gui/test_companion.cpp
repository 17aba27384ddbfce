#include <gtest/gtest.h>

#include "gui/companion.h"
#include "gui/main_window.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"
#include "tests/fakes/fake_ui.h"
#include "tests/fakes/screen_rig.h"

namespace zd::test {
namespace {

const char* kQuestion = "Anfrage:|Gerätekonfiguration in Parvolet.ini eintragen ?";

// Records what had happened when the companion was started.
struct WatchingSystem : FakeSystem {
    FakePort* port = nullptr;
    bool port_closed_at_start = false;
    bool config_saved_at_start = false;
    bool port_closed_at_save = false;
    IoResult replace_file(const std::string& path, const std::string& content) override {
        if (path == "Zendrill.ini") port_closed_at_save = port && port->closed;
        return FakeSystem::replace_file(path, content);
    }
    bool start_program(const std::string& path) override {
        port_closed_at_start = port && port->closed;
        config_saved_at_start = files.count("Zendrill.ini") > 0;
        return FakeSystem::start_program(path);
    }
};

struct CompanionRig : BasicScreenRig<FakeUi, WatchingSystem> {
    CompanionRig() {
        sys.port = &port;
        sys.files["Parvolet.exe"] = "MZ";
        build_main_window(ctx);
    }
};

struct CompanionTest : ::testing::Test, CompanionRig {
    // The companion file after an export from `before`, the question answered `yes`.
    std::string exported_over(const std::string& before, bool yes = true) {
        sys.files["Parvolet.ini"] = before;
        ui.yes_no_answers.push_back(yes);
        export_scan_result(ctx);
        return sys.files["Parvolet.ini"];
    }
};

const std::string kCompanionFile =
    "[Ports]\r\n"
    "IdentPort1=xx\r\n"
    "IdentPort10 = keep\r\n"
    "identport2 = 1\n"
    "IdentPort3 = \r\n"
    "IdentPort4 = 4\r\n"
    "IdentPort5 = 5\r"
    "IdentPort6 = 6\r\n"
    "IdentPort7 = 7\r\n"
    "; IdentPort8 is not here\r\n"
    "COMPORT = COM9:\r\n"
    "Portmodus = 000000000\r\n"
    "B203Modus = 1200";

void set_scan_result(AppState& st) {
    const char* ids[] = {"", "01", "07", "00", "05", "99", "08", "00", "03", "04"};
    const int flags[] = {1, 0, 0, 1, 0, 1, 0, 0, 0, 1};
    for (int a = 0; a < kAddressCount; ++a) {
        st.port_identifiers[a] = ids[a];
        st.port_flags[a] = flags[a];
    }
    st.config.comport = "Com3:";
}

TEST_F(CompanionTest, ExportWritesIdentifiersPortAndModeText) {
    set_scan_result(st);
    const std::string after = exported_over(kCompanionFile);
    EXPECT_EQ(ui.questions, std::vector<std::string>{kQuestion});
    EXPECT_EQ(after,
              "[Ports]\r\n"
              "IdentPort1 = 01\r\n"
              "IdentPort10 = keep\r\n"
              "IdentPort2 = 07\r\n"
              "IdentPort3 = 00\r\n"
              "IdentPort4 = 05\r\n"
              "IdentPort5 = 99\r\n"
              "IdentPort6 = 08\r\n"
              "IdentPort7 = 00\r\n"
              "; IdentPort8 is not here\r\n"
              "Comport = Com3:\r\n"
              "Portmodus = 100101000\r\n"
              "B203Modus = 1200\r\n");
}

TEST_F(CompanionTest, ModeTextAfterAFirstScanWithFlagsAtThreeAndFive) {
    st.port_flags[0] = 1;
    st.port_flags[3] = 1;
    st.port_flags[5] = 1;
    EXPECT_EQ(exported_over("Portmodus = x\r\n"), "Portmodus = 100101000\r\n");
}

TEST_F(CompanionTest, FileWithoutTheKeysStaysUntouched) {
    set_scan_result(st);
    EXPECT_EQ(exported_over("[Other]\nName = 1\n"), "[Other]\nName = 1\n");
    EXPECT_EQ(sys.replace_calls, 0);
}

TEST_F(CompanionTest, NoMeansNoChange) {
    set_scan_result(st);
    const std::string after = exported_over(kCompanionFile, false);
    EXPECT_EQ(ui.questions, std::vector<std::string>{kQuestion});
    EXPECT_EQ(after, kCompanionFile);
    EXPECT_EQ(sys.replace_calls, 0);
}

TEST_F(CompanionTest, WithoutTheCompanionFileNoQuestion) {
    set_scan_result(st);
    ui.yes_no_answers.push_back(true);
    export_scan_result(ctx);
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(sys.files.count("Parvolet.ini"), 0u);
}

TEST_F(CompanionTest, AfterTheExportQueuedEventsAreDroppedAndButtonsEnabled) {
    for (bool with_file : {false, true}) {
        CompanionRig r;
        if (with_file) r.sys.files["Parvolet.ini"] = kCompanionFile;
        enable_main_buttons(r.ctx, false);
        r.st.overview_mode = true;
        r.ui.press_mouse(40);
        r.ui.request_close();
        export_scan_result(r.ctx);
        EXPECT_EQ(r.ui.dropped_events, 2);
        for (int id = 5; id <= 14; ++id) EXPECT_TRUE(r.ui.g(id).enabled) << id;
        EXPECT_FALSE(r.st.overview_mode);
    }
}

TEST_F(CompanionTest, ClicksDuringTheScanDoNotOpenATimerAndCloseIsDropped) {
    sys.files["Parvolet.ini"] = "Comport = Com1:\r\n";
    st.overview_mode = true;
    // The user presses into the overview and the close box while the scan runs.
    port.on_write = [this](const std::string& w) {
        if (w == "3X\r") {
            ui.press_mouse(40);
            ui.request_close();
        }
    };
    ui.yes_no_answers.push_back(true);
    EXPECT_TRUE(handle_main_event(ctx, UiEvent{EventKind::Gadget, kScanButton, -1}));
    EXPECT_EQ(ui.dropped_events, 2);
    EXPECT_FALSE(st.overview_mode);
    EXPECT_EQ(ui.windows.size(), 1u);  // no editor opened
    EXPECT_FALSE(port.closed);
    EXPECT_EQ(sys.files["Parvolet.ini"], "Comport = Com1:\r\n");
    for (int id = 5; id <= st.last_main_button; ++id) EXPECT_TRUE(ui.g(id).enabled) << id;
}

TEST_F(CompanionTest, StartClosesThePortAndSavesBeforeStartingTheLocalProgram) {
    start_companion(ctx);
    EXPECT_EQ(sys.started, std::vector<std::string>{"C:\\work\\Parvolet.exe"});
    EXPECT_TRUE(sys.port_closed_at_save);
    EXPECT_TRUE(sys.port_closed_at_start);
    EXPECT_TRUE(sys.config_saved_at_start);
    EXPECT_EQ(link.port, nullptr);
    EXPECT_TRUE(ui.notes.empty());
}

TEST_F(CompanionTest, HandOffSavesTheWindowsOwnPosition) {
    st.win_x = 5;
    st.win_y = 6;
    ui.window().x = -3000;
    ui.window().y = 9000;
    start_companion(ctx);
    EXPECT_EQ(sys.files["Zendrill.ini"].substr(0, 59),
              "Comport = Com1:\r\nWinXPos = -3000\r\nWinYPos = 9000\r\nB203Modus");
}

TEST_F(CompanionTest, FailedStartIsReported) {
    sys.start_succeeds = false;
    start_companion(ctx);
    EXPECT_EQ(sys.started.size(), 1u);
    EXPECT_EQ(ui.notes, std::vector<std::string>{"Parvolet konnte nicht gestartet werden !"});
    EXPECT_TRUE(port.closed);
    EXPECT_EQ(sys.files.count("Zendrill.ini"), 1u);
}

TEST_F(CompanionTest, CompanionButtonEndsTheMainLoop) {
    for (bool starts : {true, false}) {
        CompanionRig r;
        r.sys.start_succeeds = starts;
        EXPECT_FALSE(handle_main_event(r.ctx, UiEvent{EventKind::Gadget, kCompanionButton, -1}));
        EXPECT_EQ(r.sys.started.size(), 1u);
        EXPECT_TRUE(r.port.closed);
    }
}

}  // namespace
}  // namespace zd::test
