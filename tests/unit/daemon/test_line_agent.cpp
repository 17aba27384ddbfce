#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/texts.h"
#include "tests/unit/daemon/sim_b203.h"
#include "zendrilld/line_agent.h"

namespace zd::test {
namespace {

using daemon::LineAgent;
using daemon::Request;
using daemon::Outcome;

const long long kHostStart = 847540800;  // 2026-11-09 12:00:00 counted from 2000

struct AgentTest : ::testing::Test {
    VirtualClock clock;
    FakePort port{clock};
    SimB203 device{port, clock};
    RunningSystem sys{clock, kHostStart};
    daemon::DaemonConfig config;
    daemon::DevicePicture picture{config};
    daemon::Log log{daemon::Log::Sink([](const std::string&) {})};
    std::vector<std::string> states, links, events, results, timers, replies;
    std::vector<Outcome::Kind> outcomes;
    std::vector<long long> drifts;
    std::unique_ptr<LineAgent> agent;

    AgentTest() {
        device.set_clock_s(kHostStart);
        config.clock_tolerance_s = 2;
        config.port = "/dev/ttyB203";
        picture.add_view([this](const daemon::Picture& p, const daemon::Change& c) {
            using What = daemon::Change::What;
            if (c.what == What::Status) {
                states.push_back(p.status->record);
                drifts.push_back(p.status->drift_s);
            }
            if (c.what == What::Timer) {
                const ListedTimer& t = *p.timers[static_cast<std::size_t>(c.timer - 1)];
                timers.push_back(std::to_string(t.timer) + ":" + (t.reading.record.empty() ? "E" : t.reading.record));
            }
            if (c.what == What::Answering) links.push_back(p.answering ? "online" : "offline");
            if (c.what == What::Event) events.push_back(c.event.dump());
            if (c.what == What::Reply) replies.push_back(p.last_reply);
        });
        agent = std::make_unique<LineAgent>(config, sys, clock, picture, log);
        agent->attach(&port);
    }
    void run(Request::Kind kind, const std::string& command, std::function<void(Request&)> fill = {}) {
        Request r;
        r.kind = kind;
        r.command = command;
        if (fill) fill(r);
        device.received.clear();
        const Outcome o = agent->run(r);
        results.push_back(r.command + (o.ok() ? " ok: " : " failed: ") + o.message);
        outcomes.push_back(o.kind);
    }
};

TEST_F(AgentTest, StatusPollPublishesTheRecordWithItsDrift) {
    device.set_clock_s(kHostStart + 1);
    EXPECT_TRUE(agent->read_status());
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0], "0X:091126120001" "10000");
    EXPECT_EQ(drifts[0], 1);
    EXPECT_EQ(links, std::vector<std::string>{"online"});
    EXPECT_EQ(device.received, std::vector<std::string>{"0X\r"});  // within tolerance: no sync
    // Waiting on the port: the reply is taken when its line feed arrives.
    EXPECT_LT(clock.now, 300);
}

TEST_F(AgentTest, AClockNinetySecondsOffIsSetAndReported) {
    device.set_clock_s(kHostStart - 90);
    agent->read_status();
    ASSERT_GE(device.received.size(), 4u);
    EXPECT_EQ(device.received[1].substr(0, 2), "0T");
    EXPECT_EQ(device.received[2].substr(0, 2), "0D");
    EXPECT_EQ(device.received.back(), "0X\r");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], R"({"event_type":"clock_synced","drift_s":-90,"after_s":0,"ok":true})");
    ASSERT_EQ(drifts.size(), 2u);
    EXPECT_EQ(drifts[1], 0);
}

TEST_F(AgentTest, AClockThatWillNotBeSetIsTriedAgainOnlyAfterAnHour) {
    device.set_clock_s(kHostStart - 3600);  // the hour a change to summer time leaves
    device.frozen_clock = true;
    agent->read_status();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], R"({"event_type":"clock_synced","drift_s":-3600,"after_s":-3600,"ok":false})");
    device.received.clear();
    clock.pause_ms(60 * 1000);
    agent->read_status();
    EXPECT_EQ(device.received, std::vector<std::string>{"0X\r"});
    clock.pause_ms(3600 * 1000);
    agent->read_status();
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(AgentTest, TwoFailedReadsTakeTheLinkDownAndAValidRecordBringsItBack) {
    agent->read_status();
    device.silent = true;
    agent->read_status();
    EXPECT_EQ(links, std::vector<std::string>{"online"});
    agent->read_status();
    EXPECT_EQ(links, (std::vector<std::string>{"online", "offline"}));
    agent->read_status();
    EXPECT_EQ(links.size(), 2u);
    device.silent = false;
    agent->read_status();
    EXPECT_EQ(links, (std::vector<std::string>{"online", "offline", "online"}));
    EXPECT_EQ(events, (std::vector<std::string>{R"({"event_type":"link_lost"})", R"({"event_type":"link_back"})"}));
}

TEST_F(AgentTest, ARecordWithoutARealDateIsAFailedRead) {
    port.on_write = [this](const std::string& w) {
        if (w == "0X\r") port.arrive_after(200, "0X:32132612000010000\r\n");
    };
    EXPECT_FALSE(agent->read_status());
    EXPECT_TRUE(states.empty());
}

TEST_F(AgentTest, CommandsPutExactlyTheirLinesOnTheWire) {
    agent->read_status();
    device.set_timer(2, "W01010100050010063000071500");
    agent->read_timers();
    struct Case {
        Request::Kind kind;
        const char* command;
        std::function<void(Request&)> fill;
        std::vector<std::string> first_lines;
        const char* result;
    } cases[] = {
        {Request::Kind::Setting, "set/language", [](Request& r) { r.settings[0] = '0'; },
         {"0S0000\r", "0X\r"}, "set/language ok: Einstellung gesendet (0S0000)"},
        {Request::Kind::Setting, "set/power_on", [](Request& r) { r.settings[3] = '4'; },
         {"0S0004\r", "0X\r"}, "set/power_on ok: Einstellung gesendet (0S0004)"},
        {Request::Kind::Ir, "set/ir", [](Request& r) { r.on = false; }, {"0R1\r", "0X\r"},
         "set/ir ok: IR aus gesendet (0R1)"},
        {Request::Kind::WriteTimer, "set/timer/3", [](Request& r) { r.timer = 3; r.record = "D2403060121000200000213000"; },
         {"0E03D2403060121000200000213000\r", "0C03\r", "0C01\r", "0C02\r", "0C03\r", "0C04\r", "0C05\r", "0X\r"},
         "set/timer/3 ok: Timer 3: geschrieben"},
        {Request::Kind::EraseTimer, "set/timer/3", [](Request& r) { r.timer = 3; }, {"0E03E\r", "0C03\r"},
         "set/timer/3 ok: Timer 3: gelöscht"},
        {Request::Kind::TestTimer, "cmd/test/2", [](Request& r) { r.timer = 2; },
         {"0C02\r", "0V02W01010100050010063000071500\r", "0X\r"},
         "cmd/test/2 ok: Timer 2 getestet (0V02W01010100050010063000071500)"},
        {Request::Kind::ClockShift, "cmd/clock_shift", [](Request& r) { r.forward = true; }, {"0X\r", "0T130", "0X\r"},
         "cmd/clock_shift ok: Zeit gesendet (0T130"},
        {Request::Kind::RawSend, "cmd/send", [](Request& r) { r.line = "0C02"; }, {"0C02\r", "0X\r"},
         "cmd/send ok: Rückmeldung:0C022W01010100050010063000071500"},
    };
    for (const Case& c : cases) {
        results.clear();
        run(c.kind, c.command, c.fill);
        ASSERT_GE(device.received.size(), c.first_lines.size()) << c.command;
        for (std::size_t i = 0; i < c.first_lines.size(); ++i)
            EXPECT_EQ(device.received[i].substr(0, c.first_lines[i].size()), c.first_lines[i]) << c.command << " " << i;
        ASSERT_EQ(results.size(), 1u) << c.command;
        EXPECT_EQ(results[0].substr(0, std::string(c.result).size()), c.result);
    }
    EXPECT_EQ(replies, std::vector<std::string>{"0C022W01010100050010063000071500"});
}

TEST_F(AgentTest, AManualShiftIsNotUndoneByTheNextPoll) {
    agent->read_status();
    run(Request::Kind::ClockShift, "cmd/clock_shift", [](Request& r) { r.forward = true; });
    EXPECT_NE(results.back().find("der automatische Abgleich ruht eine Stunde"), std::string::npos) << results.back();
    EXPECT_NEAR(static_cast<double>(drifts.back()), 3600.0, 2.0);
    device.received.clear();
    agent->read_status();
    EXPECT_EQ(device.received, std::vector<std::string>{"0X\r"});  // no sync within the hour
    clock.pause_ms(3600 * 1000);
    agent->read_status();
    EXPECT_GT(device.received.size(), 2u);  // then the host's time again
}

TEST_F(AgentTest, NothingIsSentWithoutWhatTheCommandNeeds) {
    run(Request::Kind::Setting, "set/language", [](Request& r) { r.settings[0] = '1'; });
    EXPECT_TRUE(device.received.empty());
    EXPECT_EQ(results.back(), "set/language failed: Noch kein gültiger Gerätestatus gelesen; nichts gesendet");
    EXPECT_EQ(outcomes.back(), Outcome::Kind::Unavailable);
    run(Request::Kind::TestTimer, "cmd/test/4", [](Request& r) { r.timer = 4; });
    EXPECT_EQ(device.received, std::vector<std::string>{"0C04\r"});
    EXPECT_EQ(results.back(), "cmd/test/4 failed: Timer 4 ist leer; nichts getestet");
    EXPECT_EQ(outcomes.back(), Outcome::Kind::NotTaken);
    agent->detach();
    run(Request::Kind::Ir, "set/ir");
    EXPECT_TRUE(device.received.empty());
    EXPECT_EQ(results.back(), "set/ir failed: Der Port /dev/ttyB203 ist nicht geöffnet");
    EXPECT_EQ(outcomes.back(), Outcome::Kind::Unavailable);
}

TEST_F(AgentTest, ARefusedWriteIsReportedAndTheTimersReadAgain) {
    agent->read_status();
    device.model.options().refuse_writes = true;
    run(Request::Kind::WriteTimer, "set/timer/1", [](Request& r) {
        r.timer = 1;
        r.record = "W01010100050010063000071500";
    });
    EXPECT_EQ(results.back(),
              "set/timer/1 failed: Timer 1: Die Daten wurden vom Controller mit einer Fehlermeldung quittiert !");
    EXPECT_EQ(outcomes.back(), Outcome::Kind::Refused);
    EXPECT_EQ(events.back(), R"({"event_type":"timer_refused","timer":1,"record":"W01010100050010063000071500"})");
    EXPECT_EQ(device.received[1], "0C01\r");
}

TEST_F(AgentTest, SilenceAfterASettingIsNoSuccess) {
    agent->read_status();
    device.silent = true;
    run(Request::Kind::Ir, "set/ir", [](Request& r) { r.on = true; });
    EXPECT_EQ(results.back(), "set/ir failed: IR ein gesendet (0R0), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (0)");
    EXPECT_EQ(outcomes.back(), Outcome::Kind::Silent);
    EXPECT_EQ(events.size(), 0u);
}

// One status poll per character: '.' on a free line, 'x' on a line the
// device held with an XOFF just before, 'X' as '.' but from then on the
// device sends XOFF before every reply. The links published.
std::vector<std::string> link_after_polls(const std::string& polls) {
    VirtualClock clock;
    FakePort port{clock};
    SimB203 device{port, clock};
    device.set_clock_s(kHostStart);
    RunningSystem sys{clock, kHostStart};
    daemon::DaemonConfig config;
    std::vector<std::string> links;
    daemon::DevicePicture picture{config};
    picture.add_view([&](const daemon::Picture& p, const daemon::Change& c) {
        if (c.what == daemon::Change::What::Answering) links.push_back(p.answering ? "online" : "offline");
    });
    daemon::Log log{daemon::Log::Sink([](const std::string&) {})};
    LineAgent agent(config, sys, clock, picture, log);
    agent.attach(&port);
    for (char poll : polls) {
        if (poll == 'x') port.held = true;
        if (poll == 'X') device.xoff_before_replies = true;
        agent.read_status();
    }
    return links;
}

TEST(AgentOnAHeldLine, WritesTheDeviceDidNotTakeCountLikeSilence) {
    const struct {
        const char* polls;
        std::vector<std::string> links;
    } cases[] = {
        {".x..x", {"online"}},  // a stray XOFF costs one poll
        {".xx..", {"online", "offline", "online"}},
        // Every second write goes out, but a reply right after a held write
        // never counts: the link stays down while the device does this.
        {".X......", {"online", "offline"}},
    };
    for (const auto& c : cases) EXPECT_EQ(link_after_polls(c.polls), c.links) << c.polls;
}

TEST_F(AgentTest, ATimerPollOnAHeldLineStopsOnceTheLinkIsDown) {
    device.xoff_before_replies = true;
    agent->read_status();
    agent->read_timers();
    EXPECT_EQ(device.received, (std::vector<std::string>{"0X\r", "0C02\r"}));
    EXPECT_EQ(port.unsent, (std::vector<std::string>{"0C01\r", "0C03\r"}));
    EXPECT_EQ(links, (std::vector<std::string>{"online", "offline"}));
    EXPECT_LT(clock.now, 3000);
}

TEST_F(AgentTest, ACommandWhoseWriteDidNotGoOutFailsWithoutItsEvent) {
    agent->read_status();
    device.set_timer(2, "W01010100050010063000071500");
    const std::function<void(Request&)> same_record = [](Request& r) {
        r.timer = 2;
        r.record = "W01010100050010063000071500";
    };
    const struct {
        Request::Kind kind;
        const char* command;
        std::function<void(Request&)> fill;
    } cases[] = {
        {Request::Kind::Ir, "set/ir", [](Request& r) { r.on = true; }},
        {Request::Kind::WriteTimer, "set/timer/2", same_record},  // read back as sent, but not sent
        {Request::Kind::RawSend, "cmd/send", [](Request& r) { r.line = "0X"; }},
    };
    for (const auto& c : cases) {
        agent->attach(&port);  // each on a line that held nothing before
        results.clear();
        events.clear();
        port.held = true;
        run(c.kind, c.command, c.fill);
        EXPECT_EQ(results, std::vector<std::string>{std::string(c.command) + " failed: " + kSendFailed});
        EXPECT_TRUE(events.empty()) << c.command << ": " << events.front();
    }
}

}  // namespace
}  // namespace zd::test
