#include <gtest/gtest.h>

#include "gui/console.h"
#include "gui/main_window.h"
#include "gui/status_report.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"
#include "tests/fakes/fake_ui.h"
#include "tests/fakes/screen_rig.h"

namespace zd::test {
namespace {

struct ScreenTest : ::testing::Test, ScreenRig {
    ScreenTest() { build_main_window(ctx); }
    void device_answers(const std::string& command, const std::string& reply) {
        port.on_write = [this, command, reply](const std::string& w) {
            if (w == command) port.arrive_after(40, reply);
        };
    }
    std::string pane() { return ui.g(kPane).text; }
};

TEST_F(ScreenTest, StatusReportExample) {
    device_answers("0X\r", "xyz15040718304512000\r\n");
    show_device_status(ctx);
    EXPECT_EQ(pane(),
              "\rB203 Gerätestatus:\r\r\r"
              "Datum        : 15.04.2007\r\r"
              "Zeit         : 18:30:45 Uhr\r\r"
              "Dialogsprache: Deutsch\r\r"
              "Easy-Funktion: aus\r\r"
              "Timer        : ein\r\r"
              "Einschaltbed.: Lautsprecher A\r\r"
              "IR-Empfänger : ein");
    EXPECT_EQ(st.settings_string, "1200");
    EXPECT_EQ(st.last_reply, "xyz15040718304512000");
}

TEST_F(ScreenTest, StatusReportCodesOutOfRange) {
    device_answers("0X\r", "xyz31129923595972251\r\n");
    show_device_status(ctx);
    EXPECT_NE(pane().find("Datum        : 31.12.2099\r"), std::string::npos);
    EXPECT_NE(pane().find("Dialogsprache: \r"), std::string::npos);
    EXPECT_NE(pane().find("Easy-Funktion: aus\r"), std::string::npos);
    EXPECT_NE(pane().find("Timer        : aus\r"), std::string::npos);
    EXPECT_NE(pane().find("Einschaltbed.: \r"), std::string::npos);
    EXPECT_NE(pane().find("IR-Empfänger : aus"), std::string::npos);
}

TEST_F(ScreenTest, StatusReportFailureKeepsSettingsString) {
    st.settings_string = "2104";
    for (const char* reply : {"", "0123456789012345678", "012345678901234567890"}) {
        device_answers("0X\r", std::string(reply) + "\r\n");
        show_device_status(ctx);
        EXPECT_EQ(pane(), "\rAbfrage Gerätestatus fehlgeschlagen (" + std::to_string(std::string(reply).size()) + ")");
        EXPECT_EQ(st.settings_string, "2104");
    }
}

TEST_F(ScreenTest, StatusReportDiscardsLeftoversAndShowsProgress) {
    port.arrive(0, "OK\r\n");
    device_answers("0X\r", "xyz15040718304512000\r\n");
    show_device_status(ctx);
    const auto& texts = ui.g(kPane).texts;
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[texts.size() - 2], "\rAbfrage Gerätestatus...");
    EXPECT_EQ(st.last_reply, "xyz15040718304512000");
}

TEST_F(ScreenTest, ConsoleRefusesTextsSilently) {
    st.overview_mode = true;
    ui.g(kPane).text = "overview";
    for (const char* text : {"", "0", "X1", " 0X"}) {
        ui.text_answers.push_back(std::string(text));
        EXPECT_FALSE(send_free_command(ctx));
    }
    ui.text_answers.push_back(std::nullopt);
    EXPECT_FALSE(send_free_command(ctx));
    EXPECT_TRUE(port.writes.empty());
    EXPECT_TRUE(st.overview_mode);
    EXPECT_EQ(pane(), "overview");
    EXPECT_EQ(ui.text_prompts[0], "Zendrill|Bitte den String eingeben:|");
}

TEST_F(ScreenTest, ConsoleShowsTheAnswerWithoutDiscarding) {
    st.overview_mode = true;
    port.arrive(0, "OK\r\n");
    // The answer is queued behind the leftover before the first poll.
    port.on_write = [this](const std::string&) { port.arrive_after(0, "xyz15040718304512000\r\n"); };
    ui.text_answers.push_back(std::string("0X"));
    EXPECT_TRUE(send_free_command(ctx));
    EXPECT_EQ(port.written(), "0X\r");
    EXPECT_EQ(pane(), "\rRückmeldung:OKxyz15040718304512000");
    EXPECT_FALSE(st.overview_mode);
    const auto& texts = ui.g(kPane).texts;
    EXPECT_EQ(texts[texts.size() - 2], "\rWarte auf evtl. Rückmeldung...");
}

TEST_F(ScreenTest, ConsoleTimeout) {
    ui.text_answers.push_back(std::string("5Q"));
    EXPECT_TRUE(send_free_command(ctx));
    EXPECT_EQ(pane(), "\rRückmeldung: keine oder Timeout");
    EXPECT_EQ(clock.now, 2000);
    EXPECT_EQ(port.written(), "5Q\r");
}

TEST_F(ScreenTest, QuickModeSendsThenShowsStatus) {
    st.config.quick_mode = "1200";
    port.arrive(0, "junk\r\n");
    std::vector<std::string> seen;
    port.on_write = [&](const std::string& w) {
        seen.push_back(w);
        if (w == "0X\r") port.arrive_after(40, "xyz15040718304512000\r\n");
    };
    st.overview_mode = true;
    send_quick_mode(ctx);
    EXPECT_EQ(seen, (std::vector<std::string>{"0S1200\r", "0X\r"}));
    EXPECT_EQ(port.write_times[0], port.write_times[1]);  // no pause in between
    EXPECT_FALSE(st.overview_mode);
    EXPECT_EQ(pane().substr(0, 20), "\rB203 Gerätestatus:\r");

    st.config.quick_mode = "";
    seen.clear();
    send_quick_mode(ctx);
    EXPECT_EQ(seen[0], "0S\r");
}

}  // namespace
}  // namespace zd::test
