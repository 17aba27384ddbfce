#include <gtest/gtest.h>

#include "core/confirmed_ops.h"
#include "tests/fakes/fake_port.h"

namespace zd::test {
namespace {

// A device that acknowledges every set command and answers the status
// query with `record`, unless it is silent.
struct ConfirmRig {
    VirtualClock clock;
    FakePort port{clock};
    DeviceLink link{&port, &clock};
    std::string ack = "OK";
    std::string record;  // "" : no answer to "0X"
    explicit ConfirmRig(std::string status = "") : record(std::move(status)) {
        port.on_write = [this](const std::string& w) {
            if (w == "0X\r") {
                if (!record.empty()) port.arrive_after(20, record + "\r\n");
            } else if (!ack.empty()) {
                port.arrive_after(120, ack + "\r\n");  // slow enough to meet the query if not waited for
            }
        };
    }
};

TEST(ConfirmedOps, SettingsAreConfirmedByTheStatusReadBack) {
    struct Case {
        std::string record;
        bool ok;
        std::string message;
    } cases[] = {
        {"0X:15040718304502141", true, "Einstellung gesendet (0S0214)"},
        {"0X:15040718304512001", false, "Einstellung gesendet (0S0214), aber nicht übernommen: das Gerät meldet 1200"},
        {"", false, "Einstellung gesendet (0S0214), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (0)"},
        {"0X:1504071830450214", false,
         "Einstellung gesendet (0S0214), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (19)"},
        {"0X:15040799999902141", false,
         "Einstellung gesendet (0S0214), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen: "
         "ungültige Uhrzeit \"999999\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record);
        ConfirmRig r{c.record};
        const Confirmed done = send_settings_confirmed(r.link, r.clock, "0214");
        EXPECT_EQ(done.ok, c.ok);
        EXPECT_EQ(done.message, c.message);
        EXPECT_EQ(done.reply, c.record);
        EXPECT_EQ(r.port.writes, (std::vector<std::string>{"0S0214\r", "0X\r"}));
    }
}

TEST(ConfirmedOps, TheAcknowledgementIsNotTakenForTheStatus) {
    ConfirmRig r{"0X:15040718304502141"};
    r.ack = "0X:15040718304599999";  // an acknowledgement that looks like a record
    const Confirmed done = send_settings_confirmed(r.link, r.clock, "0214");
    EXPECT_TRUE(done.ok) << done.message;
    // The query waits until the line was quiet for 200 ms after the acknowledgement.
    ASSERT_EQ(r.port.write_times.size(), 2u);
    EXPECT_GE(r.port.write_times[1] - r.port.write_times[0], 320);
}

TEST(ConfirmedOps, InvalidSettingsSendNothing) {
    for (const char* bad : {"3000", "120", "12000", "", "12a0"}) {
        ConfirmRig r;
        const Confirmed done = send_settings_confirmed(r.link, r.clock, bad);
        EXPECT_FALSE(done.ok);
        EXPECT_TRUE(r.port.writes.empty()) << bad;
        EXPECT_NE(done.message.find("nichts gesendet"), std::string::npos) << done.message;
    }
}

TEST(ConfirmedOps, IrIsConfirmedByPositionTwenty) {
    struct Case {
        bool on;
        std::string record;
        bool ok;
        std::string message;
    } cases[] = {
        {true, "0X:15040718304512000", true, "IR ein gesendet (0R0)"},
        {false, "0X:15040718304512001", true, "IR aus gesendet (0R1)"},
        {true, "0X:15040718304512001", false,
         "IR ein gesendet (0R0), aber nicht übernommen: das Gerät meldet IR-Empfänger aus (1)"},
        {false, "0X:15040718304512000", false,
         "IR aus gesendet (0R1), aber nicht übernommen: das Gerät meldet IR-Empfänger ein (0)"},
        {false, "0X:1504071830451200X", false,
         "IR aus gesendet (0R1), aber nicht übernommen: das Gerät meldet IR-Empfänger aus (X)"},
        {false, "", false, "IR aus gesendet (0R1), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (0)"},
        {true, "0X:32040718304512000", false,
         "IR ein gesendet (0R0), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen: "
         "ungültiges Datum \"320407\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record);
        ConfirmRig r{c.record};
        const Confirmed done = switch_ir_confirmed(r.link, r.clock, c.on);
        EXPECT_EQ(done.ok, c.ok);
        EXPECT_EQ(done.message, c.message);
        EXPECT_EQ(r.port.writes, (std::vector<std::string>{c.on ? "0R0\r" : "0R1\r", "0X\r"}));
    }
}

TEST(ConfirmedOps, ASilentDeviceCostsBoundedTime) {
    ConfirmRig r;
    r.ack.clear();
    const Confirmed done = switch_ir_confirmed(r.link, r.clock, true);
    EXPECT_FALSE(done.ok);
    EXPECT_EQ(done.reply, "");
    EXPECT_EQ(r.clock.now, 200 + 4000);  // the quiet wait, then the query's limit
}

}  // namespace
}  // namespace zd::test
