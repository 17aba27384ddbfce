#include <gtest/gtest.h>

#include <map>
#include <set>

#include "zendrilld/mqtt/bridge.h"
#include "zendrilld/device_picture.h"

namespace zd::daemon {
namespace {

struct BridgeTest : ::testing::Test {
    DaemonConfig config;
    Log log{false};
    BridgeTest() { config.base_topic = "zendrill/b203"; }
};

bool under(const std::string& topic, const std::string& base) { return topic.rfind(base + "/", 0) == 0; }

TEST_F(BridgeTest, DiscoveryDescribesEveryComponentUnderTheBaseTopic) {
    for (bool raw : {false, true}) {
        config.raw_commands = raw;
        Bridge bridge(config, log);
        EXPECT_EQ(bridge.discovery_topic(), "homeassistant/device/zendrill_b203/config");
        const JsonObject d = JsonObject::parse(bridge.discovery());
        EXPECT_EQ(d["dev"]["identifiers"], JsonObject::array({"zendrill_b203"}));
        EXPECT_EQ(d["dev"]["model"], "B203");
        EXPECT_EQ(d["dev"]["name"], "B203");
        EXPECT_EQ(d["o"]["name"], "zendrilld");
        EXPECT_TRUE(d["o"].contains("sw"));
        EXPECT_TRUE(d["o"].contains("url"));
        EXPECT_EQ(d["availability_mode"], "all");
        EXPECT_EQ(d["availability"][0]["topic"], "zendrill/b203/bridge");
        EXPECT_EQ(d["availability"][1]["topic"], "zendrill/b203/link");
        std::set<std::string> ids;
        std::map<std::string, int> platforms;
        for (const auto& [key, c] : d["cmps"].items()) {
            ASSERT_TRUE(c.contains("p")) << key;
            ++platforms[c["p"]];
            EXPECT_TRUE(ids.insert(c["unique_id"].get<std::string>()).second) << key;
            EXPECT_FALSE(c.contains("object_id")) << key;
            EXPECT_EQ(c["default_entity_id"], c["p"].get<std::string>() + ".zendrill_b203_" + key);
            for (const auto& [field, value] : c.items()) {
                if (field.size() > 6 && field.compare(field.size() - 6, 6, "_topic") == 0) {
                    EXPECT_TRUE(under(value, "zendrill/b203")) << key << " " << field;
                }
            }
        }
        EXPECT_EQ(platforms["select"], 4);
        EXPECT_EQ(platforms["switch"], 1);
        EXPECT_EQ(platforms["button"], 4 + 10);
        EXPECT_EQ(platforms["text"], 5 + (raw ? 1 : 0));
        EXPECT_EQ(platforms["sensor"], 3 + 5 + (raw ? 1 : 0));
        EXPECT_EQ(platforms["event"], 1);
        EXPECT_EQ(d["cmps"]["clock_rate"]["name"], "Gangabweichung");
        EXPECT_EQ(d["cmps"]["clock_rate"]["unit_of_measurement"], "s/d");
        EXPECT_EQ(d["cmps"]["clock_rate"]["state_topic"], "zendrill/b203/clock_rate");
        EXPECT_EQ(d["cmps"]["language"]["options"], JsonObject::array({"Englisch", "Deutsch", u8"Französisch"}));
        EXPECT_EQ(d["cmps"]["timer_3_erase"]["command_topic"], "zendrill/b203/cmd/erase/3");
        EXPECT_EQ(d["cmps"]["timer_3_erase"]["payload_press"], "PRESS");
    }
}

TEST_F(BridgeTest, StateAndTimerPayloadsExtendTheCommandLineObjects) {
    config.stations[5] = "WDR \xE4";
    Bridge bridge(config, log);
    const LocalTime at{2026, 3, 29, 3, 0, 5, 0, 120};
    const JsonObject s = JsonObject::parse(bridge.state_payload("0X:29032603000512001", -3600, at));
    EXPECT_EQ(s["date"], "2026-03-29");
    EXPECT_EQ(s["time"], "03:00:05");
    EXPECT_EQ(s["language"], "Deutsch");
    EXPECT_EQ(s["ir"], "aus");
    EXPECT_EQ(s["drift_s"], -3600);
    EXPECT_EQ(s["read_at"], "2026-03-29T03:00:05+02:00");
    EXPECT_EQ(iso_local_time(LocalTime{2026, 1, 2, 3, 4, 5, 0, -330}), "2026-01-02T03:04:05-05:30");

    ListedTimer t;
    t.timer = 2;
    t.reading.raw_reply = "0C022W01010100050010063000071500";
    t.reading.last_reply = t.reading.raw_reply;
    t.fields.number = "2";
    parse_timer_reply(t.fields, t.reading.last_reply);
    t.reading.state = TimerState::Set;
    t.reading.record = "W01010100050010063000071500";
    const JsonObject j = JsonObject::parse(bridge.timer_payload(t));
    EXPECT_EQ(j["record"], "W01010100050010063000071500");
    EXPECT_EQ(j["station_name"], u8"WDR ä");
    EXPECT_EQ(j["summary"], u8"NR.2 Tage: Mo Mi Fr Zeit: 06:30 - 07:15 Uhr Quelle: Tuner 05 Ziel: LS-A (WDR ä)");
    EXPECT_LE(j["summary"].get<std::string>().size(), 255u);
}

TEST_F(BridgeTest, ResultsCarryTheCommandAndAnUtf8Message) {
    Bridge bridge(config, log);
    EXPECT_EQ(bridge.result_payload("set/ir", false, "IR-Empf\xE4nger: nein"),
              u8R"({"command":"set/ir","ok":false,"message":"IR-Empfänger: nein"})");
}

}  // namespace
}  // namespace zd::daemon
