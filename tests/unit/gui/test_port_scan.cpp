#include <gtest/gtest.h>

#include <map>

#include "core/companion_file.h"
#include "device/port_scan.h"
#include "gui/main_window.h"
#include "gui/port_scan.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"
#include "tests/fakes/fake_ui.h"
#include "tests/fakes/screen_rig.h"

namespace zd::test {
namespace {

const std::string kScanRecord = "0X:15040718304512000";

struct PortScanRig : ScreenRig {
    std::map<int, std::string> answers;  // address -> reply line; absent: silent

    PortScanRig() {
        port.on_write = [this](const std::string& w) {
            const int address = w[0] - '0';
            auto it = answers.find(address);
            if (it != answers.end()) port.arrive_after(0, it->second + "\r\n");
        };
        build_main_window(ctx);
    }
};

struct PortScanTest : ::testing::Test, PortScanRig {};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

TEST(PortScanTable, IdentifierCodes) {
    struct Case {
        const char* code;
        const char* name;
        bool sets_flag;
    } cases[] = {
        {"00", "kein Identifier", false}, {"01", "PR99 MK2", false}, {"02", "A725", true},
        {"03", "B285", true},             {"04", "B215", true},      {"05", "B225", true},
        {"06", "B226", true},             {"07", "A725-2", true},    {"08", "B291", false},
        {"09", "Fehler", false},          {"10", "Fehler", false},   {"", "Fehler", false},
        {"0", "Fehler", false},           {"0A", "Fehler", false},   {" 2", "Fehler", false},
        {"002", "Fehler", false},
    };
    for (const auto& c : cases) {
        const DeviceIdentity id = identify_code(c.code);
        EXPECT_EQ(id.name, c.name) << c.code;
        EXPECT_EQ(id.sets_flag, c.sets_flag) << c.code;
    }
}

TEST(PortScanTable, IdentifierOfAReply) {
    struct Case {
        const char* reply;
        const char* code;
        const char* identifier;
    } cases[] = {
        {"", "", "00"},       {"A", "", "00"},        {"A0", "0", "00"},
        {"A05", "05", "05"},  {"A07xyz", "07", "07"}, {"x99", "99", "99"},
        {kScanRecord.c_str(), "X:", "X:"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(identifier_code(c.reply), c.code) << c.reply;
        EXPECT_EQ(port_identifier(c.reply), c.identifier) << c.reply;
    }
}

TEST(PortScanTable, ModeTextHasNineFlags) {
    int flags[kAddressCount] = {1, 0, 0, 1, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(port_mode_text(flags), "100101000");
    int all[kAddressCount] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(port_mode_text(all), "111111111");
    int none[kAddressCount] = {};
    EXPECT_EQ(port_mode_text(none), "000000000");
}

TEST_F(PortScanTest, AsksEveryAddressOnceInOrderAndWaitsForEach) {
    answers[0] = kScanRecord;
    scan_ports(ctx);
    EXPECT_EQ(port.writes, (std::vector<std::string>{"0X\r", "1X\r", "2X\r", "3X\r", "4X\r", "5X\r",
                                                     "6X\r", "7X\r", "8X\r", "9X\r"}));
    // The B203 answers within the first poll; every silent address costs 5000 ms.
    std::vector<long long> times{0};
    for (int a = 1; a < 10; ++a) times.push_back(100 + 5000LL * (a - 1));
    EXPECT_EQ(port.write_times, times);
    EXPECT_EQ(clock.now, 100 + 9 * 5000);
}

TEST_F(PortScanTest, OnlyTheB203Answers) {
    st.port_flags[4] = 1;  // from an earlier scan
    answers[0] = kScanRecord;
    scan_ports(ctx);
    const std::string text = ui.g(kPane).text;
    std::vector<std::string> expected{"", "Alle Ports abfragen:", "", "", "Port 0:" + kScanRecord + " -> B203", ""};
    for (int a = 1; a <= 9; ++a) {
        expected.push_back("Port " + std::to_string(a) + ": -> Fehler");
        expected.push_back("");
    }
    EXPECT_EQ(lines_of(text), expected);
    EXPECT_EQ(lines_of(text).size(), 24u);
    EXPECT_EQ(text.substr(0, 24), "\rAlle Ports abfragen:\r\r\r");
    EXPECT_EQ(text.substr(text.size() - 21), "\r\rPort 9: -> Fehler\r\r");
    const int flags[kAddressCount] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 0};
    for (int a = 0; a < kAddressCount; ++a) EXPECT_EQ(st.port_flags[a], flags[a]) << a;
    EXPECT_EQ(st.port_identifiers[0], "");
    for (int a = 1; a < kAddressCount; ++a) EXPECT_EQ(st.port_identifiers[a], "00") << a;
    EXPECT_EQ(st.last_reply, "");
}

TEST_F(PortScanTest, PaneShowsProgressBeforeEachAddress) {
    answers[0] = kScanRecord;
    answers[2] = "A02";
    scan_ports(ctx);
    const auto& texts = ui.g(kPane).texts;
    ASSERT_EQ(texts.size(), 1u + 20u);
    std::string scan = "\rAlle Ports abfragen:\r\r\r";
    const char* names[] = {"B203", "Fehler", "A725", "Fehler", "Fehler",
                           "Fehler", "Fehler", "Fehler", "Fehler", "Fehler"};
    for (int a = 0; a < 10; ++a) {
        EXPECT_EQ(texts[1 + 2 * a], scan + "Abfrage Port " + std::to_string(a) + "...");
        const std::string reply = answers.count(a) ? answers[a] : "";
        scan += "Port " + std::to_string(a) + ":" + reply + " -> " + names[a] + "\r\r";
        EXPECT_EQ(texts[2 + 2 * a], scan);
    }
}

TEST_F(PortScanTest, SilentB203StillGetsItsFlag) {
    scan_ports(ctx);
    EXPECT_EQ(st.port_flags[0], 1);
    EXPECT_EQ(st.port_identifiers[0], "");
    EXPECT_EQ(lines_of(ui.g(kPane).text)[4], "Port 0: -> B203");
}

TEST_F(PortScanTest, RepliesDecideNameIdentifierAndFlag) {
    answers[0] = "garbage";
    answers[1] = "A01xyz";   // PR99 MK2, flag unchanged
    answers[2] = "A07";      // A725-2, flag set
    answers[3] = "X0";       // two characters: Fehler, "00"
    answers[4] = "Z05";      // B225, flag set
    answers[5] = "A99abc";   // Fehler, identifier kept
    answers[6] = "A08";      // B291, flag unchanged
    answers[7] = "A00";      // kein Identifier
    answers[8] = "A03";
    answers[9] = "A04";      // scanned and listed, never exported
    scan_ports(ctx);
    const std::vector<std::string> lines = lines_of(ui.g(kPane).text);
    const std::vector<std::string> listed{
        "Port 0:garbage -> B203",       "Port 1:A01xyz -> PR99 MK2", "Port 2:A07 -> A725-2",
        "Port 3:X0 -> Fehler",          "Port 4:Z05 -> B225",        "Port 5:A99abc -> Fehler",
        "Port 6:A08 -> B291",           "Port 7:A00 -> kein Identifier", "Port 8:A03 -> B285",
        "Port 9:A04 -> B215"};
    for (int a = 0; a < 10; ++a) EXPECT_EQ(lines[4 + 2 * static_cast<std::size_t>(a)], listed[a]);
    const char* ids[] = {"", "01", "07", "00", "05", "99", "08", "00", "03", "04"};
    const int flags[] = {1, 0, 1, 0, 1, 0, 0, 0, 1, 1};
    for (int a = 0; a < kAddressCount; ++a) {
        EXPECT_EQ(st.port_identifiers[a], ids[a]) << a;
        EXPECT_EQ(st.port_flags[a], flags[a]) << a;
    }
    EXPECT_EQ(st.last_reply, "A04");
}

TEST_F(PortScanTest, FlagsStayAcrossScansIdentifiersDoNot) {
    answers[0] = kScanRecord;
    answers[3] = "A03";
    answers[5] = "A06";
    scan_ports(ctx);
    EXPECT_EQ(st.port_identifiers[3], "03");
    answers.erase(3);
    answers[5] = "A01";
    scan_ports(ctx);
    EXPECT_EQ(st.port_flags[3], 1);
    EXPECT_EQ(st.port_flags[5], 1);
    EXPECT_EQ(st.port_identifiers[3], "00");
    EXPECT_EQ(st.port_identifiers[5], "01");
    EXPECT_EQ(st.port_identifiers[0], "");
    EXPECT_EQ(lines_of(ui.g(kPane).text)[10], "Port 3: -> Fehler");
}

TEST_F(PortScanTest, InputIsDiscardedOnlyBeforeTheFirstAddress) {
    port.arrive(0, "stale\r\n");
    answers[0] = kScanRecord;
    // Address 1 answers too late; its answer starts address 2's reply.
    port.on_write = [this](const std::string& w) {
        if (w == "0X\r") port.arrive_after(0, kScanRecord + "\r\n");
        if (w == "1X\r") port.arrive_after(5050, "A03\r\n");
    };
    scan_ports(ctx);
    const std::vector<std::string> lines = lines_of(ui.g(kPane).text);
    EXPECT_EQ(lines[4], "Port 0:" + kScanRecord + " -> B203");
    EXPECT_EQ(lines[6], "Port 1: -> Fehler");
    EXPECT_EQ(lines[8], "Port 2:A03 -> B285");
    EXPECT_EQ(st.port_flags[2], 1);
    EXPECT_EQ(st.port_flags[1], 0);
}

TEST_F(PortScanTest, ButtonsStayDisabled) {
    for (bool with_companion : {false, true}) {
        PortScanRig r;
        if (with_companion) {
            r.sys.files["Parvolet.exe"] = "";
            r.ui.windows.clear();
            build_main_window(r.ctx);
        }
        scan_ports(r.ctx);
        const int last = with_companion ? 14 : 13;
        EXPECT_EQ(r.st.last_main_button, last);
        for (int id = 5; id <= last; ++id) EXPECT_FALSE(r.ui.g(id).enabled) << id;
        EXPECT_TRUE(r.ui.g(kPane).enabled);
        EXPECT_TRUE(r.ui.g(kPaneFrame).enabled);
    }
}

}  // namespace
}  // namespace zd::test
