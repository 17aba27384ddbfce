// zendrilld as it runs beside the hi-fi: a child process between the
// simulator on a pty and a private mosquitto, watched over MQTT, in its own
// log and in the simulator's traffic log.
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <regex>
#include <set>

#include <nlohmann/json.hpp>

#include "tests/integration/stack.h"

namespace zd::test {
namespace {

// Every key named like a topic, anywhere in the document.
void each_topic(const Json& j, const std::string& key, const std::function<void(const std::string&, const Json&)>& f) {
    if (j.is_object()) {
        for (auto it = j.begin(); it != j.end(); ++it) {
            const std::string& k = it.key();
            if (k == "topic" || (k.size() > 6 && k.compare(k.size() - 6, 6, "_topic") == 0)) f(k, it.value());
            each_topic(it.value(), k, f);
        }
    } else if (j.is_array()) {
        for (const Json& e : j) each_topic(e, key, f);
    }
}

TEST_F(DaemonProgramTest, DiscoveryDescribesTheDeviceUnderTheBaseTopic) {
    config["raw_commands"] = "on";
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    auto m = watch->wait(0, [&](const Message& x) { return x.topic == discovery_topic; }, kWait);
    ASSERT_TRUE(m);
    const Json d = parsed(m->payload);
    ASSERT_TRUE(d.is_object()) << m->payload;

    ASSERT_TRUE(d.contains("dev"));
    EXPECT_TRUE(d["dev"]["identifiers"].is_array() && !d["dev"]["identifiers"].empty());
    EXPECT_TRUE(d["dev"]["name"].is_string() && !d["dev"]["name"].get<std::string>().empty());
    EXPECT_EQ(d["dev"]["model"], "B203");
    ASSERT_TRUE(d.contains("o"));
    for (const char* k : {"name", "sw", "url"})
        EXPECT_TRUE(d["o"][k].is_string() && !d["o"][k].get<std::string>().empty()) << k;
    EXPECT_EQ(d["o"]["name"], "zendrilld");
    EXPECT_EQ(d.value("availability_mode", ""), "all");
    std::set<std::string> availability;
    for (const Json& a : d["availability"]) availability.insert(a.value("topic", ""));
    EXPECT_EQ(availability, (std::set<std::string>{topic("bridge"), topic("link")}));

    ASSERT_TRUE(d["cmps"].is_object() && !d["cmps"].empty());
    std::set<std::string> unique_ids, command_topics;
    for (auto it = d["cmps"].begin(); it != d["cmps"].end(); ++it) {
        const Json& c = it.value();
        SCOPED_TRACE(it.key());
        ASSERT_TRUE(c.contains("p") && c["p"].is_string());
        ASSERT_TRUE(c.contains("unique_id") && c["unique_id"].is_string());
        EXPECT_TRUE(unique_ids.insert(c["unique_id"].get<std::string>()).second) << "twice: " << c["unique_id"];
        ASSERT_TRUE(c.contains("default_entity_id"));
        EXPECT_EQ(c["default_entity_id"].get<std::string>().rfind(c["p"].get<std::string>() + ".", 0), 0u);
        EXPECT_FALSE(c.contains("object_id"));
        if (c.contains("command_topic")) command_topics.insert(c["command_topic"].get<std::string>());
    }
    std::size_t topics = 0;
    each_topic(d, "", [&](const std::string& key, const Json& value) {
        ++topics;
        ASSERT_TRUE(value.is_string()) << key;
        EXPECT_EQ(value.get<std::string>().rfind(base + "/", 0), 0u) << key << " = " << value;
    });
    EXPECT_GT(topics, 40u);
    // Each command topic is one the daemon takes; the free command line is there with raw_commands on.
    std::set<std::string> taken = {topic("set/language"), topic("set/easy_function"), topic("set/timer_function"),
                                   topic("set/power_on"), topic("set/ir"), topic("cmd/clock_sync"),
                                   topic("cmd/clock_shift"), topic("cmd/refresh"), topic("cmd/send")};
    for (int n = 1; n <= 5; ++n) {
        taken.insert(topic("set/timer/" + std::to_string(n)));
        taken.insert(topic("cmd/test/" + std::to_string(n)));
        taken.insert(topic("cmd/erase/" + std::to_string(n)));
    }
    EXPECT_EQ(command_topics, taken);

    // Kept by the broker for Home Assistant's next start.
    MqttClient fresh("fresh");
    ASSERT_TRUE(fresh.connect(broker.port, {discovery_topic}));
    auto kept = fresh.wait(0, [](const Message&) { return true; }, kWait);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->retained);
    EXPECT_EQ(kept->payload, m->payload);
}

TEST_F(DaemonProgramTest, AFreshSubscriberGetsTheRetainedState) {
    ASSERT_NO_FATAL_FAILURE(start_sim({"--settings", "1200", "--ir", "1", "--timer", std::string("2=") + kTimer2,
                                       "--timer", std::string("3=") + kTimer3}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());

    MqttClient fresh("fresh");
    ASSERT_TRUE(fresh.connect(broker.port, {base + "/#"}));
    const std::vector<std::string> wanted = {"bridge",  "link",    "state",   "timer/1",
                                             "timer/2", "timer/3", "timer/4", "timer/5"};
    std::map<std::string, Message> got;
    ASSERT_TRUE(fresh.wait_until(
        [&](const std::vector<Message>& all) {
            for (const Message& m : all) got[m.topic] = m;
            for (const std::string& w : wanted)
                if (!got.count(topic(w))) return false;
            return true;
        },
        kWait));
    for (const std::string& w : wanted) EXPECT_TRUE(got[topic(w)].retained) << w;
    EXPECT_EQ(got[topic("bridge")].payload, "online");
    EXPECT_EQ(got[topic("link")].payload, "online");

    const Json state = parsed(got[topic("state")].payload);
    ASSERT_TRUE(state.is_object()) << got[topic("state")].payload;
    EXPECT_TRUE(contains(sim.traffic().replies("0X:"), state.value("record", ""))) << state.dump();
    EXPECT_EQ(state["settings"], "1200");
    EXPECT_EQ(state["language"], "Deutsch");
    EXPECT_EQ(state["easy_function"], "aus");
    EXPECT_EQ(state["timer"], "ein");
    EXPECT_EQ(state["power_on"], "Lautsprecher A");
    EXPECT_EQ(state["ir"], "aus");
    ASSERT_TRUE(state["drift_s"].is_number_integer());
    EXPECT_LE(std::labs(state["drift_s"].get<long>()), 2);
    EXPECT_TRUE(std::regex_match(state.value("read_at", ""),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
        << state.value("read_at", "");
    const std::string record = state.value("record", "");
    ASSERT_EQ(record.size(), 20u);
    EXPECT_EQ(state["date"], "20" + record.substr(7, 2) + "-" + record.substr(5, 2) + "-" + record.substr(3, 2));

    EXPECT_EQ(parsed(got[topic("timer/1")].payload),
              parsed(R"({"timer":1,"state":"empty","record":"","kind":null,"days":[],"date":null,"source":null,)"
                     R"("station":null,"targets":[],"start":null,"end":null,"station_name":null,)"
                     R"("summary":"Timer 1 ist leer!"})"));
    EXPECT_EQ(parsed(got[topic("timer/2")].payload),
              parsed(R"({"timer":2,"state":"set","record":"W01010100050010063000071500","kind":"weekday",)"
                     R"("days":["Mo","Mi","Fr"],"date":null,"source":"Tuner","station":"05","targets":["LS-A"],)"
                     R"("start":"06:30","end":"07:15","station_name":null,)"
                     R"("summary":"NR.2 Tage: Mo Mi Fr Zeit: 06:30 - 07:15 Uhr Quelle: Tuner 05 Ziel: LS-A"})"));
    EXPECT_EQ(parsed(got[topic("timer/3")].payload),
              parsed(u8R"j({"timer":3,"state":"set","record":"D2403260121000200000213000","kind":"date",)j"
                     u8R"j("days":[],"date":"2026-03-24","source":"Tuner","station":"12","targets":["Tape1"],)j"
                     u8R"j("start":"20:00","end":"21:30","station_name":"Südwest 3",)j"
                     u8R"j("summary":"NR.3 Datum: 24.03.2026 Zeit: 20:00 - 21:30 Uhr Quelle: Tuner 12 Ziel: Tape1 (Südwest 3)"})j"));
    for (const char* t : {"timer/4", "timer/5"}) EXPECT_EQ(parsed(got[topic(t)].payload)["state"], "empty");
}

TEST_F(DaemonProgramTest, EveryCommandReachesTheDeviceAsItsExactLine) {
    quiet_line();
    config["clock_sync"] = "off";  // the hour shift stays as sent
    config["raw_commands"] = "on";
    ASSERT_NO_FATAL_FAILURE(start_sim({"--time", "120000", "--date", "150407", "--settings", "1000", "--ir", "0",
                                       "--timer", std::string("2=") + kTimer2, "--timer",
                                       std::string("3=") + kTimer3}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    std::map<std::string, int> commands;  // how many of each were sent
    Step s;

    const struct {
        const char* topic;
        const char* payload;
        const char* settings;
        const char* key;
    } settings[] = {
        {"set/language", "Englisch", "0000", "language"},
        {"set/easy_function", "aus", "0200", "easy_function"},
        {"set/timer_function", "aus", "0210", "timer"},
        {"set/power_on", "Lautsprecher aus", "0214", "power_on"},
    };
    for (const auto& c : settings) {
        SCOPED_TRACE(c.topic);
        ASSERT_NO_FATAL_FAILURE(command(c.topic, c.payload, "state", s));
        ++commands[c.topic];
        EXPECT_EQ(s.rx, (std::vector<std::string>{std::string("0S") + c.settings, "0X"}));
        EXPECT_EQ(s.result, Json({{"command", c.topic}, {"ok", true},
                                  {"message", std::string("Einstellung gesendet (0S") + c.settings + ")"}}));
        EXPECT_EQ(s.then["settings"], c.settings);
        EXPECT_EQ(s.then[c.key], c.payload);
        std::size_t f = s.from;
        auto e = event_of("settings_sent", f);
        ASSERT_TRUE(e);
        EXPECT_EQ((*e)["settings"], c.settings);
    }

    for (const char* payload : {"OFF", "ON"}) {
        const bool on = std::string(payload) == "ON";
        ASSERT_NO_FATAL_FAILURE(command("set/ir", payload, "state", s));
        ++commands["set/ir"];
        EXPECT_EQ(s.rx, (std::vector<std::string>{on ? "0R0" : "0R1", "0X"}));
        EXPECT_EQ(s.result["ok"], true);
        EXPECT_EQ(s.result["message"], on ? "IR ein gesendet (0R0)" : "IR aus gesendet (0R1)");
        EXPECT_EQ(s.then["ir"], on ? "ein" : "aus");
        std::size_t f = s.from;
        auto e = event_of("ir_switched", f);
        ASSERT_TRUE(e);
        EXPECT_EQ((*e)["ir"], on ? "ein" : "aus");
    }

    // A timer written: the line, the read-back, all five timers, the status.
    const std::string record4 = "W11111000071010070000083000";
    ASSERT_NO_FATAL_FAILURE(command("set/timer/4", record4, "state", s));
    ++commands["set/timer/4"];
    EXPECT_EQ(s.rx, (std::vector<std::string>{"0E04" + record4, "0C04", "0C01", "0C02", "0C03", "0C04", "0C05", "0X"}));
    EXPECT_EQ(s.result, Json({{"command", "set/timer/4"}, {"ok", true}, {"message", "Timer 4: geschrieben"}}));
    {
        std::size_t f = s.from;
        auto t = next("timer/4", f);
        ASSERT_TRUE(t);
        EXPECT_EQ(parsed(t->payload)["record"], record4);
        EXPECT_EQ(parsed(t->payload)["state"], "set");
        f = s.from;
        auto e = event_of("timer_written", f);
        ASSERT_TRUE(e);
        EXPECT_EQ(*e, Json({{"event_type", "timer_written"}, {"timer", 4}, {"record", record4}}));
    }

    ASSERT_NO_FATAL_FAILURE(command("cmd/erase/2", "PRESS", "state", s));
    ++commands["cmd/erase/2"];
    EXPECT_EQ(s.rx, (std::vector<std::string>{"0E02E", "0C02", "0C01", "0C02", "0C03", "0C04", "0C05", "0X"}));
    EXPECT_EQ(s.result, Json({{"command", "cmd/erase/2"}, {"ok", true}, {"message", u8"Timer 2: gelöscht"}}));
    {
        std::size_t f = s.from;
        auto t = next("timer/2", f);
        ASSERT_TRUE(t);
        EXPECT_EQ(parsed(t->payload)["state"], "empty");
        EXPECT_EQ(parsed(t->payload)["record"], "");
    }

    ASSERT_NO_FATAL_FAILURE(command("cmd/test/3", "PRESS", "state", s));
    ++commands["cmd/test/3"];
    // The timer is read first, so the record tested is the one the device holds now.
    EXPECT_EQ(s.rx, (std::vector<std::string>{"0C03", std::string("0V03") + kTimer3, "0X"}));
    EXPECT_EQ(s.result["ok"], true);
    EXPECT_EQ(s.result["message"], std::string("Timer 3 getestet (0V03") + kTimer3 + ")");
    EXPECT_TRUE(contains(s.traffic.events(), std::string("test timer 3 ") + kTimer3));
    {
        std::size_t f = s.from;
        EXPECT_TRUE(event_of("timer_tested", f));
    }

    // The hour shift: the device's own time one hour on, then back.
    for (const char* payload : {"+1", "-1"}) {
        SCOPED_TRACE(payload);
        const bool forward = std::string(payload) == "+1";
        ASSERT_NO_FATAL_FAILURE(command("cmd/clock_shift", payload, "state", s));
        ++commands["cmd/clock_shift"];
        const std::string read = s.traffic.reply_to("0X");
        ASSERT_EQ(read.size(), 20u) << read;
        const std::string sent = two(std::stoi(read.substr(9, 2)) + (forward ? 1 : -1)) + read.substr(11, 4);
        ASSERT_EQ(s.rx.size(), 3u);
        EXPECT_EQ(s.rx, (std::vector<std::string>{"0X", "0T" + sent, "0X"}));
        EXPECT_EQ(s.result, Json({{"command", "cmd/clock_shift"}, {"ok", true}, {"message", "Zeit gesendet (0T" + sent + ")"}}));
        EXPECT_EQ(s.then["time"].get<std::string>().substr(0, 2), forward ? "13" : "12");
        EXPECT_EQ(s.then["date"], "2007-04-15");
    }

    // The PC's time and date, then the check.
    ASSERT_NO_FATAL_FAILURE(command("cmd/clock_sync", "PRESS", "state", s));
    ++commands["cmd/clock_sync"];
    const std::tm now = local_tm(std::time(nullptr));
    ASSERT_EQ(s.rx.size(), 3u);
    EXPECT_EQ(s.rx[0].substr(0, 2), "0T");
    EXPECT_LE(day_seconds_apart(s.rx[0].substr(2), hhmmss(now)), 3) << s.rx[0];
    EXPECT_EQ(s.rx[1], "0D" + ddmmyy(now));
    EXPECT_EQ(s.rx[2], "0X");
    EXPECT_EQ(s.result["ok"], true);
    EXPECT_EQ(s.result["message"].get<std::string>().rfind("Uhr gestellt (" + s.rx[0] + ", " + s.rx[1] + ")", 0), 0u)
        << s.result;
    EXPECT_LE(std::labs(s.then["drift_s"].get<long>()), 2);
    {
        std::size_t f = s.from;
        auto e = event_of("clock_synced", f);
        ASSERT_TRUE(e);
        EXPECT_EQ((*e)["ok"], true);
        EXPECT_LE(std::labs((*e)["after_s"].get<long>()), 2);
    }

    // Everything read again: status first, then the timers, then the result.
    ASSERT_NO_FATAL_FAILURE(command("cmd/refresh", "PRESS", "", s));
    ++commands["cmd/refresh"];
    EXPECT_EQ(s.rx, (std::vector<std::string>{"0X", "0C01", "0C02", "0C03", "0C04", "0C05"}));
    EXPECT_EQ(s.result, Json({{"command", "cmd/refresh"}, {"ok", true}, {"message", "Status und Timer gelesen"}}));
    {
        std::size_t f = s.from;
        EXPECT_TRUE(next("state", f, milliseconds(0)));
        for (int n = 1; n <= 5; ++n) EXPECT_TRUE(next("timer/" + std::to_string(n), f, milliseconds(0))) << n;
    }

    // A free line, its reply kept on "reply".
    ASSERT_NO_FATAL_FAILURE(command("cmd/send", "0C03", "state", s));
    ++commands["cmd/send"];
    EXPECT_EQ(s.rx, (std::vector<std::string>{"0C03", "0X"}));
    const std::string reply = s.traffic.reply_to("0C03");
    EXPECT_EQ(reply, std::string("0C033") + kTimer3);
    EXPECT_EQ(s.result, Json({{"command", "cmd/send"}, {"ok", true}, {"message", u8"Rückmeldung:" + reply}}));
    {
        std::size_t f = s.from;
        auto r = next("reply", f, milliseconds(0));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->payload, reply);
    }

    // One result for each command, no more: a last command marks the end.
    ASSERT_NO_FATAL_FAILURE(command("cmd/refresh", "PRESS", "", s));
    ++commands["cmd/refresh"];
    std::map<std::string, int> results;
    for (const Message& m : watch->messages())
        if (m.topic == topic("result")) {
            const Json r = parsed(m.payload);
            EXPECT_EQ(r["ok"], true) << m.payload;
            ++results[r.value("command", "")];
        }
    EXPECT_EQ(results, commands);
}

TEST_F(DaemonProgramTest, InvalidCommandsAreRefusedAndSendNothing) {
    quiet_line();
    config["raw_commands"] = "on";
    ASSERT_NO_FATAL_FAILURE(start_sim({"--timer", std::string("2=") + kTimer2}));
    // A retained command would run again after every reconnect: found on subscribing, it is not run.
    watch->publish(topic("set/ir"), "OFF", true);
    ASSERT_TRUE(watch->wait(0, [&](const Message& x) { return x.topic == topic("set/ir"); }, kWait));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    EXPECT_TRUE(daemon.wait_err(u8"Gespeicherte (retained) Nachricht an set/ir nicht ausgeführt", kWait));
    const std::size_t received_before = sim.received().size();
    EXPECT_EQ(sim.received(), (std::vector<std::string>{"0X", "0C01", "0C02", "0C03", "0C04", "0C05"}));
    const struct {
        std::string topic, payload, message;
    } cases[] = {
        {"set/language", "Klingonisch",
         u8"Dialogsprache: \"Klingonisch\" gibt es nicht; erlaubt: Englisch, Deutsch, Französisch"},
        {"set/power_on", "", u8"Einschaltbedingung: \"\" gibt es nicht; erlaubt: Lautsprecher A, Lautsprecher B, "
                             u8"Lautsprecher A+B, zuletzt aktivierte Lautsprecher, Lautsprecher aus"},
        {"set/ir", "maybe", u8"IR-Empfänger: \"maybe\" gibt es nicht; erlaubt: ON, OFF"},
        {"set/timer/6", kTimer2, "Timer gibt es nur mit den Nummern 1 bis 5"},
        {"set/timer/1", "W01010100050010063001071500", u8"Timer 1: Sekunden der Startzeit müssen 00 sein"},
        {"set/timer/1", "W01010100050010063000071501", u8"Timer 1: Sekunden der Endzeit müssen 00 sein"},
        {"set/timer/1", "D3102260121000200000213000", u8"Timer 1: Datum \"310226\" gibt es nicht"},
        {"set/timer/1", "D2413260121000200000213000", u8"Timer 1: Datum \"241326\" gibt es nicht"},
        {"set/timer/1", std::string(1025, 'W'), u8"Nachricht zu lang (1025 Bytes, höchstens 1024)"},
        {"cmd/send", std::string("0C\x07") + "01", "Steuerzeichen 0x07 (BEL) an Stelle 3"},
        {"cmd/send", "X0", u8"Eine Befehlszeile hat mindestens 2 Zeichen und beginnt mit der Geräteadresse (0-9)"},
        {"cmd/test/2", "NOW", "erwartet wird PRESS"},
        {"cmd/clock_shift", "+2", "erwartet wird +1 oder -1"},
        {"cmd/volume", "10", "Unbekannter Befehl \"cmd/volume\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.topic + " " + c.payload.substr(0, 30));
        std::size_t f = watch->count();
        watch->publish(topic(c.topic), c.payload);
        auto r = result_of(c.topic, f);
        ASSERT_TRUE(r);
        EXPECT_EQ(*r, Json({{"command", c.topic}, {"ok", false}, {"message", c.message}}));
    }
    {
        // Clearing a retained command the MQTT way reaches the live daemon as
        // an empty payload: refused, and no timer is erased.
        std::size_t f = watch->count();
        watch->publish(topic("set/timer/2"), "", true);
        auto r = result_of("set/timer/2", f);
        ASSERT_TRUE(r);
        EXPECT_EQ(*r, Json({{"command", "set/timer/2"},
                            {"ok", false},
                            {"message", u8"Timer 2: leerer Datensatz, nichts gesendet; gelöscht wird mit der "
                                        u8"Schaltfläche \"Timer 2 löschen\" (cmd/erase/2)"}}));
    }
    // A valid command last: the device got its line and nothing before it.
    Step s;
    ASSERT_NO_FATAL_FAILURE(command("set/ir", "OFF", "state", s));
    EXPECT_EQ(s.result["ok"], true);
    const auto received = sim.received();
    EXPECT_EQ(std::vector<std::string>(received.begin() + static_cast<long>(received_before), received.end()),
              (std::vector<std::string>{"0R1", "0X"}));
}

TEST_F(DaemonProgramTest, FreeCommandLinesNeedRawCommandsOn) {
    quiet_line();
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    const std::size_t received_before = sim.received().size();
    std::size_t f = watch->count();
    watch->publish(topic("cmd/send"), "0X");
    auto r = result_of("cmd/send", f);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, Json({{"command", "cmd/send"}, {"ok", false},
                        {"message", "Freie Befehle sind abgeschaltet (raw_commands = off)"}}));
    Step s;
    ASSERT_NO_FATAL_FAILURE(command("set/ir", "ON", "state", s));
    const auto received = sim.received();
    EXPECT_EQ(std::vector<std::string>(received.begin() + static_cast<long>(received_before), received.end()),
              (std::vector<std::string>{"0R0", "0X"}));
    // Nor does the discovery offer them.
    auto m = watch->wait(0, [&](const Message& x) { return x.topic == discovery_topic; }, kWait);
    ASSERT_TRUE(m);
    EXPECT_FALSE(parsed(m->payload)["cmps"].contains("command"));
}

TEST_F(DaemonProgramTest, TheLastWillSaysOfflineWhenTheDaemonIsKilled) {
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    std::size_t f = watch->count();
    EXPECT_EQ(daemon.stop(SIGKILL, seconds(10)), 128 + SIGKILL);
    ASSERT_TRUE(next_with("bridge", "offline", f));
    MqttClient fresh("fresh");
    ASSERT_TRUE(fresh.connect(broker.port, {topic("bridge")}));
    auto kept = fresh.wait(0, [](const Message&) { return true; }, kWait);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->retained);
    EXPECT_EQ(kept->payload, "offline");

    // The socket left behind is taken over by the next start.
    struct stat st {};
    ASSERT_EQ(lstat(socket_path().c_str(), &st), 0);
    f = watch->count();
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    EXPECT_TRUE(next_with("bridge", "online", f));
    ASSERT_NO_FATAL_FAILURE(wait_started(f));
    EXPECT_EQ(cli({"--port", link(), "status"}).status, 0);
}

TEST_F(DaemonProgramTest, AfterABrokerRestartEverythingIsPublishedAgain) {
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    watch.reset();
    ASSERT_EQ(broker.stop(), 0);
    ASSERT_TRUE(daemon.wait_err("Verbindung zum MQTT-Broker verloren", kWait));
    ASSERT_NO_FATAL_FAILURE(broker.start(dir, broker.port));
    // The broker kept nothing: whatever comes now, the daemon sent again.
    watch = std::make_unique<MqttClient>("watch-again");
    ASSERT_TRUE(watch->connect(broker.port, {"#"}));
    std::map<std::string, std::string> got;
    ASSERT_TRUE(watch->wait_until(
        [&](const std::vector<Message>& all) {
            for (const Message& m : all) got[m.topic] = m.payload;
            return got.count(discovery_topic) && got.count(topic("state")) && got.count(topic("timer/5")) &&
                   got[topic("bridge")] == "online" && got[topic("link")] == "online";
        },
        seconds(60)));
    EXPECT_TRUE(parsed(got[discovery_topic]).contains("cmps"));
    EXPECT_TRUE(parsed(got[topic("state")]).contains("record"));
    // And commands work over the new connection.
    Step s;
    ASSERT_NO_FATAL_FAILURE(command("set/ir", "OFF", "state", s));
    EXPECT_EQ(s.result["ok"], true);
}

TEST_F(DaemonProgramTest, HomeAssistantsBirthBringsTheDiscoveryAgain) {
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    ASSERT_TRUE(watch->wait(0, [&](const Message& x) { return x.topic == discovery_topic; }, kWait));
    const std::size_t from = watch->count();
    watch->publish("homeassistant/status", "online");
    // Within the daemon's random delay of up to 5 s.
    auto again = watch->wait(from, [&](const Message& x) { return x.topic == discovery_topic; }, seconds(15));
    ASSERT_TRUE(again);
    EXPECT_TRUE(parsed(again->payload).contains("cmps"));
    std::size_t f = from;
    EXPECT_TRUE(next("state", f, seconds(5)));
    // Every later start of Home Assistant is answered too.
    f = watch->count();
    watch->publish("homeassistant/status", "offline");
    watch->publish("homeassistant/status", "online");
    EXPECT_TRUE(watch->wait(f, [&](const Message& x) { return x.topic == discovery_topic; }, seconds(15)));
}

TEST_F(DaemonProgramTest, APortThatVanishesAndComesBack) {
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    std::size_t f = watch->count();
    sim.kill();  // the adapter pulled: the pty is gone, the link dangles
    // Noticed at the next poll at the latest (poll_status_s = 10).
    ASSERT_TRUE(next_with("link", "offline", f, seconds(30)));
    {
        std::size_t e = f - 1;
        EXPECT_TRUE(event_of("link_lost", e, seconds(5)));
    }
    ASSERT_TRUE(daemon.wait_err("ist weg", kWait));

    f = watch->count();
    ASSERT_NO_FATAL_FAILURE(start_sim({"--settings", "0101"}, "sim2.log"));
    ASSERT_TRUE(next_with("link", "online", f, seconds(60)));
    std::size_t e = f - 1;
    EXPECT_TRUE(event_of("link_back", e));
    auto state = next("state", f);
    ASSERT_TRUE(state);
    EXPECT_EQ(parsed(state->payload)["settings"], "0101");  // read from the new device
    std::size_t t = f;
    EXPECT_TRUE(next("timer/5", t));
    const auto received = sim.received();
    ASSERT_GE(received.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(received.begin(), received.begin() + 6),
              (std::vector<std::string>{"0X", "0C01", "0C02", "0C03", "0C04", "0C05"}));
}

TEST_F(DaemonProgramTest, ADeviceClock90SecondsBehindIsSet) {
    const std::tm behind = local_tm(std::time(nullptr) - 90);
    ASSERT_NO_FATAL_FAILURE(start_sim({"--time", hhmmss(behind), "--date", ddmmyy(behind)}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    std::size_t f = 0;
    auto e = event_of("clock_synced", f);
    ASSERT_TRUE(e);
    EXPECT_GE((*e)["drift_s"].get<long>(), -93) << *e;
    EXPECT_LE((*e)["drift_s"].get<long>(), -87) << *e;
    EXPECT_EQ((*e)["ok"], true);
    auto state = next("state", f);
    ASSERT_TRUE(state);
    EXPECT_LE(std::labs(parsed(state->payload)["drift_s"].get<long>()), 2) << state->payload;
    const auto received = sim.received();
    ASSERT_GE(received.size(), 4u);
    const std::tm now = local_tm(std::time(nullptr));
    EXPECT_EQ(received[0], "0X");
    EXPECT_EQ(received[1].substr(0, 2), "0T");
    EXPECT_LE(day_seconds_apart(received[1].substr(2), hhmmss(now)), 3) << received[1];
    EXPECT_EQ(received[2], "0D" + ddmmyy(now));
    EXPECT_EQ(received[3], "0X");
}

TEST_F(DaemonProgramTest, AnHourMoreOnTheHostClockIsTakenToTheDevice) {
    const std::string offset = dir + "/faketime";
    write_text(offset, "+0\n");
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon({{"LD_PRELOAD", preload(FAKETIME_LIBRARY)},
                                          {"FAKETIME_TIMESTAMP_FILE", offset},
                                          {"FAKETIME_NO_CACHE", "1"},
                                          {"FAKETIME_DONT_FAKE_MONOTONIC", "1"}}));
    ASSERT_NO_FATAL_FAILURE(wait_started());
    {
        std::size_t f = 0;
        auto state = next("state", f);
        ASSERT_TRUE(state);
        EXPECT_LE(std::labs(parsed(state->payload)["drift_s"].get<long>()), 2) << state->payload;
    }
    const std::size_t from = watch->count();
    const std::size_t received_before = sim.received().size();
    write_text(offset + ".new", "+3600\n");
    ASSERT_EQ(std::rename((offset + ".new").c_str(), offset.c_str()), 0);
    // The next poll (poll_status_s = 10) finds the device an hour behind.
    std::size_t f = from;
    auto e = event_of("clock_synced", f, seconds(25));
    ASSERT_TRUE(e);
    EXPECT_GE((*e)["drift_s"].get<long>(), -3603) << *e;
    EXPECT_LE((*e)["drift_s"].get<long>(), -3597) << *e;
    EXPECT_EQ((*e)["ok"], true);
    auto state = next("state", f);
    ASSERT_TRUE(state);
    EXPECT_LE(std::labs(parsed(state->payload)["drift_s"].get<long>()), 2) << state->payload;
    const auto received = sim.received();
    ASSERT_GE(received.size(), received_before + 4);
    const std::tm later = local_tm(std::time(nullptr) + 3600);
    EXPECT_EQ(received[received_before], "0X");
    EXPECT_LE(day_seconds_apart(received[received_before + 1].substr(2), hhmmss(later)), 3)
        << received[received_before + 1];
    EXPECT_EQ(received[received_before + 2], "0D" + ddmmyy(later));
}

TEST_F(DaemonProgramTest, TheCliBorrowsTheLineForItsRun) {
    ASSERT_NO_FATAL_FAILURE(start_sim({"--settings", "1200", "--timer", std::string("2=") + kTimer2, "--timer",
                                       std::string("3=") + kTimer3}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    const std::size_t before_cli = watch->count();
    const std::string backup = dir + "/b203.ini";
    const CliRun r = cli({"--port", link(), "timers", "export", backup});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = read_text(backup);
    EXPECT_EQ(text.substr(text.find("\r\n") + 2), std::string("B203Modus = 1200\r\nTimer1 = \r\nTimer2 = ") + kTimer2 +
                                                      "\r\nTimer3 = " + kTimer3 + "\r\nTimer4 = \r\nTimer5 = \r\n");

    // The daemon reads status and timers again once it has the line back.
    ASSERT_TRUE(daemon.wait_err(u8"Port zurückgenommen", kWait));
    std::size_t f = before_cli;
    ASSERT_TRUE(next("timer/5", f));
    {
        std::vector<std::string> order;
        for (std::size_t i = before_cli; i < f; ++i) {
            const Message m = watch->messages()[i];
            if (m.topic == topic("state") || m.topic.rfind(topic("timer/"), 0) == 0) order.push_back(m.topic);
        }
        ASSERT_GE(order.size(), 6u);
        EXPECT_EQ(std::vector<std::string>(order.end() - 6, order.end()),
                  (std::vector<std::string>{topic("state"), topic("timer/1"), topic("timer/2"), topic("timer/3"),
                                            topic("timer/4"), topic("timer/5")}));
    }
    // Stopped, the two logs are final and can be laid side by side.
    ASSERT_EQ(daemon.stop(SIGTERM, seconds(15)), 0);

    // The daemon's own lines, before it lent the line, during, and after.
    std::vector<std::string> lines[3];
    int phase = 0;
    for (const std::string& l : lines_of(daemon.err())) {
        if (l.find("Port an ein anderes Programm verliehen") != std::string::npos) phase = 1;
        if (l.find(u8"Port zurückgenommen") != std::string::npos) phase = 2;
        if (l.rfind("-> ", 0) == 0) lines[phase].push_back(l.substr(3, l.rfind("\\r") - 3));
    }
    EXPECT_TRUE(lines[1].empty()) << "the daemon wrote while the line was lent";
    const std::vector<std::string> cli_lines = {"0X", "0C01", "0C02", "0C03", "0C04", "0C05"};
    std::vector<std::string> expected = lines[0];
    expected.insert(expected.end(), cli_lines.begin(), cli_lines.end());
    expected.insert(expected.end(), lines[2].begin(), lines[2].end());
    EXPECT_EQ(sim.received(), expected);
    ASSERT_GE(lines[2].size(), 6u);
    EXPECT_EQ(std::vector<std::string>(lines[2].begin(), lines[2].begin() + 6), cli_lines);

    // The CLI's lines: each answered before the next went out.
    std::vector<SimEntry> traffic;
    for (const SimEntry& e : sim.traffic().entries)
        if (e.kind != "EV") traffic.push_back(e);
    const std::size_t first = 2 * lines[0].size();  // each earlier line had its reply
    ASSERT_GE(traffic.size(), first + 12);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(traffic[first + 2 * i].kind, "RX");
        EXPECT_EQ(traffic[first + 2 * i].bytes, cli_lines[i] + "\r");
        EXPECT_EQ(traffic[first + 2 * i + 1].kind, "TX") << cli_lines[i];
    }
}

TEST_F(DaemonProgramTest, SigtermEndsTheDaemonInOrder) {
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    // The broker lets anyone in; a password file readable by all still gets a word.
    const std::string password = dir + "/mqtt-password";
    write_text(password, "geheim\n");
    ASSERT_EQ(chmod(password.c_str(), 0644), 0);
    config["mqtt_user"] = "zendrill";
    config["mqtt_password_file"] = password;
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    EXPECT_TRUE(daemon.wait_err(u8"mqtt_password_file " + password + u8" ist für alle Benutzer lesbar; besser: chmod o-rwx",
                                kWait));
    const std::size_t from = watch->count();
    EXPECT_EQ(daemon.stop(SIGTERM, seconds(15)), 0);
    std::size_t f = from;
    EXPECT_TRUE(next_with("link", "offline", f));
    f = from;
    EXPECT_TRUE(next_with("bridge", "offline", f));
    MqttClient fresh("fresh");
    ASSERT_TRUE(fresh.connect(broker.port, {topic("bridge"), topic("link")}));
    std::map<std::string, Message> got;
    ASSERT_TRUE(fresh.wait_until(
        [&](const std::vector<Message>& all) {
            for (const Message& m : all) got[m.topic] = m;
            return got.size() == 2;
        },
        kWait));
    EXPECT_EQ(got[topic("bridge")].payload, "offline");
    EXPECT_EQ(got[topic("link")].payload, "offline");
    // A clean goodbye: the broker got the DISCONNECT, so the will stays unsent.
    ASSERT_TRUE(broker.wait_log("zendrilld-test disconnected", kWait));
    EXPECT_NE(broker.log().find("Client zendrilld-test disconnected.\n"), std::string::npos) << broker.log();

    struct stat st {};
    EXPECT_EQ(lstat(socket_path().c_str(), &st), -1);
    EXPECT_EQ(errno, ENOENT);
    // The port is free: a run that will not wait for it gets it.
    const CliRun r = cli({"--port", link(), "--wait", "0", "status"});
    EXPECT_EQ(r.status, 0) << r.err;
}

// Whatever the line is doing when SIGTERM comes, the daemon ends within 5 s:
// a silent device would otherwise hold it 4 s for each timer it reads.
TEST_F(DaemonProgramTest, SigtermEndsTheDaemonWithinFiveSecondsMidExchange) {
    const struct {
        std::vector<std::string> sim;
        std::string waiting_for;  // the daemon is inside this exchange
    } cases[] = {
        {{"--silent"}, "-> 0C01\\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sim.front());
        ASSERT_NO_FATAL_FAILURE(start_sim(c.sim));
        ASSERT_NO_FATAL_FAILURE(start_daemon());
        ASSERT_TRUE(daemon.wait_err(c.waiting_for, kWait)) << daemon.err();
        const auto signalled = Steady::now();
        EXPECT_EQ(daemon.stop(SIGTERM, seconds(5)), 0);
        std::cout << "[ figures  ] " << c.sim.front() << ": SIGTERM to exit "
                  << std::chrono::duration_cast<milliseconds>(Steady::now() - signalled).count() << " ms\n";
        sim.stop();
    }
}

long long ms_between(Steady::time_point a, Steady::time_point b) {
    return std::chrono::duration_cast<milliseconds>(b - a).count();
}

// A device that sends XOFF before every reply and never XON. Each write has
// a deadline; past it the hold is lifted, so every second write goes out,
// but a reply right after a held write never brings the link back.
TEST_F(DaemonProgramTest, AnXoffBeforeEveryReplyTakesTheLinkDownAndNothingHangs) {
    quiet_line();
    ASSERT_NO_FATAL_FAILURE(start_sim({"--stray", "\\x13"}));
    const auto started = Steady::now();
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    std::size_t f = 0;
    ASSERT_TRUE(next_with("link", "online", f));
    ASSERT_TRUE(next_with("link", "offline", f));
    const auto offline = Steady::now();
    ASSERT_TRUE(daemon.wait_err(u8"Senden fehlgeschlagen: die Leitung nimmt nichts an (XOFF vom Gerät?)", kWait));

    const auto asked = Steady::now();
    watch->publish(topic("set/ir"), "ON");
    auto r = result_of("set/ir", f);
    ASSERT_TRUE(r);
    const auto answered = Steady::now();
    EXPECT_EQ((*r)["ok"], false);
    EXPECT_EQ((*r)["message"], u8"Senden fehlgeschlagen: die Leitung nimmt nichts an (XOFF vom Gerät?)");

    // Stopped while a write of a command waits on the held line.
    const auto timer_reads = [](const std::string& log) {
        std::size_t n = 0;
        for (std::size_t at = log.find("-> 0C01"); at != std::string::npos; at = log.find("-> 0C01", at + 1)) ++n;
        return n;
    };
    const std::size_t before = timer_reads(daemon.err());
    watch->publish(topic("cmd/refresh"), "PRESS");
    ASSERT_TRUE(daemon.wait_output([&](const std::string&, const std::string& e) { return timer_reads(e) > before; },
                                   kWait));
    const auto term = Steady::now();
    EXPECT_EQ(daemon.stop(SIGTERM, seconds(15)), 0);
    const auto ended = Steady::now();
    EXPECT_LT(ms_between(term, ended), 5000);
    EXPECT_FALSE(next_with("link", "online", f, milliseconds(0)));
    std::cout << "XOFF before every reply: link offline " << ms_between(started, offline)
              << " ms after the start; ok:false " << ms_between(asked, answered) << " ms after the command ("
              << ms_between(started, answered) << " ms after the start); SIGTERM to exit "
              << ms_between(term, ended) << " ms\n";
}

// Clients that never ask hold their slot only for a few seconds; then the
// line is lent again, also to runs that follow each other closely.
TEST_F(DaemonProgramTest, QuietControlClientsLoseTheirSlot) {
    quiet_line();
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    std::vector<int> quiet;
    for (int i = 0; i < 16; ++i) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", socket_path().c_str());
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        quiet.push_back(fd);
    }
    const auto connected = Steady::now();
    CliRun r = cli({"--port", link(), "status"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "zendrilld verleiht den Port nicht: zu viele Verbindungen\n");
    for (int fd : quiet) {
        std::string got;
        char buf[128];
        pollfd p{fd, POLLIN, 0};
        while (poll(&p, 1, 20000) == 1) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        EXPECT_EQ(got, "ERROR keine Anfrage innerhalb von 5 s\n");
        close(fd);
    }
    const long long dropped_ms = ms_between(connected, Steady::now());
    EXPECT_GE(dropped_ms, 4900);
    EXPECT_LT(dropped_ms, 15000);
    for (int run = 0; run < 3; ++run) {
        r = cli({"--port", link(), "status"});
        EXPECT_EQ(r.status, 0) << run << ": " << r.err;
    }
}

TEST_F(DaemonProgramTest, ConfigurationErrorsEndTheDaemonBeforeItOpensAnything) {
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    const std::string head = "port = " + link() + "\ncontrol_socket = " + socket_path() +
                             "\nmqtt_host = 127.0.0.1\nmqtt_port = " + std::to_string(broker.port) + "\n";
    const struct {
        std::string line, error;
    } cases[] = {
        {"colour = blue", u8"Zeile 5: unbekannter Schlüssel \"colour\""},
        {"poll_status_s = 5", "Zeile 5: poll_status_s = 5: erlaubt ist eine ganze Zahl von 10 bis 3600 (Sekunden)"},
        {"clock_sync = sometimes", "Zeile 5: clock_sync = sometimes: erlaubt sind \"auto\" und \"off\""},
        {"mqtt_port = 1883", u8"Zeile 5: Schlüssel \"mqtt_port\" steht mehrfach in der Datei"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        write_text(config_path(), head + c.line + "\n");
        daemon.start(ZENDRILLD_PATH, {"--config", config_path()}, {{"ZENDRILL_PORT", std::nullopt}});
        EXPECT_EQ(daemon.wait_exit(kWait), std::optional<int>(2));
        EXPECT_EQ(daemon.err(), "zendrilld: " + config_path() + ", " + c.error + "\n");
        EXPECT_EQ(daemon.out(), "");
    }
    // An empty password would connect without one: refused.
    const std::string password = dir + "/mqtt-password";
    write_text(password, "\n");
    write_text(config_path(), head + "mqtt_user = zendrill\nmqtt_password_file = " + password + "\n");
    daemon.start(ZENDRILLD_PATH, {"--config", config_path()}, {{"ZENDRILL_PORT", std::nullopt}});
    EXPECT_EQ(daemon.wait_exit(kWait), std::optional<int>(2));
    EXPECT_EQ(daemon.err(), "zendrilld: mqtt_password_file " + password + ": die erste Zeile (das Passwort) ist leer\n");
    struct stat st {};
    EXPECT_EQ(lstat(socket_path().c_str(), &st), -1);
    EXPECT_TRUE(sim.received().empty());
    // The broker's log is up to date once it shows a later client: no daemon came.
    MqttClient probe("probe-after");
    ASSERT_TRUE(probe.connect(broker.port, {}));
    ASSERT_TRUE(broker.wait_log("as probe-after", kWait));
    EXPECT_EQ(broker.log().find(" as zendrilld"), std::string::npos) << broker.log();
}

TEST_F(DaemonProgramTest, ABurstBeyondTheQueueGetsOneResultEach) {
    ASSERT_NO_FATAL_FAILURE(start_sim({"--no-pacing"}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    const std::size_t received_before = sim.received().size();
    const std::size_t from = watch->count();
    constexpr int kBurst = 200;
    for (int i = 0; i < kBurst; ++i) watch->publish(topic("set/ir"), i % 2 ? "ON" : "OFF");
    int ok = 0, refused = 0;
    std::vector<Json> results;
    const auto all_answered = [&](const std::vector<Message>& all) {
        results.clear();
        for (std::size_t i = from; i < all.size(); ++i)
            if (all[i].topic == topic("result")) results.push_back(parsed(all[i].payload));
        return static_cast<int>(results.size()) >= kBurst;
    };
    ASSERT_TRUE(watch->wait_until(all_answered, seconds(180))) << results.size() << " results";
    for (const Json& r : results) {
        EXPECT_EQ(r["command"], "set/ir");
        if (r["ok"] == true) {
            ++ok;
        } else {
            ++refused;
            EXPECT_EQ(r["message"], "Zu viele wartende Befehle (64); nichts gesendet");
        }
    }
    EXPECT_EQ(ok + refused, kBurst);
    EXPECT_GE(ok, 64);
    EXPECT_GT(refused, 0);

    // Still there and answering; the device got one line for each command taken.
    ASSERT_TRUE(daemon.running());
    Step s;
    ASSERT_NO_FATAL_FAILURE(command("cmd/refresh", "PRESS", "", s));
    EXPECT_EQ(s.result["ok"], true);
    int ir_lines = 0;
    const auto received = sim.received();
    for (std::size_t i = received_before; i < received.size(); ++i)
        if (received[i] == "0R0" || received[i] == "0R1") ++ir_lines;
    EXPECT_EQ(ir_lines, ok);
    int all_results = 0;
    for (const Message& m : watch->messages())
        if (m.topic == topic("result")) ++all_results;
    EXPECT_EQ(all_results, kBurst + 1);
    EXPECT_EQ(daemon.stop(SIGTERM, seconds(15)), 0);
}

TEST_F(DaemonProgramTest, RemoveDiscoveryDeletesWhatTheBrokerKeeps) {
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    ASSERT_EQ(daemon.stop(SIGTERM, seconds(15)), 0);
    Program remover;
    remover.start(ZENDRILLD_PATH, {"--config", config_path(), "--remove-discovery"});
    ASSERT_EQ(remover.wait_exit(kWait), std::optional<int>(0)) << remover.err();

    // A retained marker comes after whatever the earlier subscriptions find.
    watch->publish("marker/end", "1", true);
    ASSERT_TRUE(watch->wait(0, [](const Message& x) { return x.topic == "marker/end"; }, kWait));
    MqttClient fresh("fresh");
    ASSERT_TRUE(fresh.connect(broker.port, {discovery_topic, base + "/#", "marker/end"}));
    ASSERT_TRUE(fresh.wait(0, [](const Message& x) { return x.topic == "marker/end"; }, kWait));
    for (const Message& m : fresh.messages())
        EXPECT_EQ(m.topic, "marker/end") << "still kept: " << m.topic << " " << m.payload.substr(0, 40);
}

// Whatever the broker's host does, SIGTERM ends the daemon within 5 s; an
// attempt that gets no answer is logged with its timeout and the back-off.
TEST_F(DaemonProgramTest, SigtermEndsTheDaemonWhileTheBrokerDoesNotAnswer) {
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    DeafListener silent(DeafListener::Kind::Silent), full(DeafListener::Kind::Full);
    ASSERT_GT(silent.port, 0);
    ASSERT_GT(full.port, 0);
    const std::string no_connack = "MQTT-Broker 127.0.0.1:" + std::to_string(silent.port) +
                                   u8" antwortet nicht: keine Bestätigung der Anmeldung (CONNACK) nach 10 s; "
                                   "neuer Versuch mit wachsendem Abstand bis 60 s";
    const struct {
        const char* name;
        std::string host;
        int port;
        std::string preloaded;
        std::function<bool()> hangs;  // the attempt is under way and stuck
    } cases[] = {
        {"accepts and never answers", "127.0.0.1", silent.port, "",
         // The first attempt times out, logged; the next one hangs as well.
         [&] { return silent.take(kWait) && daemon.wait_err(no_connack, kWait) && silent.take(kWait); }},
        {"never accepts", "127.0.0.1", full.port, "", [&] { return eventually([&] { return syn_sent_to(full.port); }, kWait); }},
        {"name lookup hangs", "hang.invalid", 1883, HANG_LOOKUP_LIBRARY,
         [&] { return daemon.wait_err("getaddrinfo(hang.invalid) hangs", kWait); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        config["mqtt_host"] = c.host;
        config["mqtt_port"] = std::to_string(c.port);
        Program::Environment env;
        if (!c.preloaded.empty()) env["LD_PRELOAD"] = preload(c.preloaded);
        ASSERT_NO_FATAL_FAILURE(start_daemon(env));
        ASSERT_TRUE(c.hangs()) << daemon.err();
        const auto sent = Steady::now();
        const int status = daemon.stop(SIGTERM, seconds(30));
        const auto took = std::chrono::duration_cast<milliseconds>(Steady::now() - sent);
        std::cout << "[ figure   ] SIGTERM to exit, broker " << c.name << ": " << took.count() << " ms\n";
        EXPECT_EQ(status, 0) << daemon.err();
        EXPECT_LT(took, seconds(5));
    }
}

// A second zendrilld for the same base topic finds the first one live, takes
// nothing over and ends; a retained "online" of an earlier run holds no one up.
TEST_F(DaemonProgramTest, ASecondZendrilldForTheSameBaseTopicEndsAndTakesNothingOver) {
    watch->publish(topic("bridge"), "online", true);  // left by an earlier run
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    const std::string refusal =
        u8"Ein anderer zendrilld veröffentlicht schon unter zendrill/test: Läuft ein zweiter zendrilld mit "
        u8"demselben base_topic (oder derselben device_id)? Dieser zendrilld übernimmt die Themen nicht und beendet "
        u8"sich.";
    const std::string turned_away =
        u8"Ein weiterer zendrilld wollte die Themen unter zendrill/test übernehmen und wurde abgewiesen";
    std::size_t tries = 0;
    for (const char* device_id : {"test2", "test"}) {
        SCOPED_TRACE(device_id);
        auto second = config;
        second["device_id"] = device_id;
        second["base_topic"] = base;
        second["port"] = dir + "/no-device";
        second["control_socket"] = dir + "/second.sock";
        second["http_listen"] = "";  // the first one's port is taken
        second["journal_file"] = dir + "/second-journal.db";
        write_config(second, dir + "/second.ini");
        const std::size_t from = watch->count();
        Program other;
        other.start(ZENDRILLD_PATH, {"--config", dir + "/second.ini"}, {{"ZENDRILL_PORT", std::nullopt}});
        EXPECT_EQ(other.wait_exit(kWait), std::optional<int>(1));
        EXPECT_NE(other.err().find(refusal), std::string::npos) << other.err();
        ++tries;
        EXPECT_TRUE(daemon.wait_output(
            [&](const std::string&, const std::string& e) { return occurrences(e, turned_away) == tries; }, kWait));
        // Not knocked off, and nothing on its topics but the probe and the answer.
        EXPECT_EQ(occurrences(daemon.err(), "Verbindung zum MQTT-Broker verloren"), 0u);
        for (std::size_t i = from; i < watch->count(); ++i)
            EXPECT_EQ(watch->messages()[i].topic, topic("probe")) << watch->messages()[i].payload;
        Step s;
        ASSERT_NO_FATAL_FAILURE(command("cmd/refresh", "PRESS", "", s));
        EXPECT_EQ(s.result["ok"], true);
    }
}

// A client with the daemon's id knocks it off again and again: each time the
// daemon names the likely cause, and it comes back later each time.
TEST_F(DaemonProgramTest, KnockedOffAgainAndAgainTheDaemonBacksOff) {
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    const std::string knocked = "Verbindung zum MQTT-Broker verloren";
    const std::string back = "Mit dem MQTT-Broker 127.0.0.1:" + std::to_string(broker.port) + " verbunden";
    std::vector<milliseconds> away;
    for (std::size_t i = 1; i <= 3; ++i) {
        {
            MqttClient kicker("zendrilld-test");
            ASSERT_TRUE(kicker.connect(broker.port, {"kick"}));
            ASSERT_TRUE(daemon.wait_output([&](const std::string&, const std::string& e) { return occurrences(e, knocked) >= i; },
                                           kWait));
        }
        const auto at = Steady::now();
        ASSERT_TRUE(daemon.wait_output(
            [&](const std::string&, const std::string& e) { return occurrences(e, back) >= i + 1; }, seconds(30)));
        away.push_back(std::chrono::duration_cast<milliseconds>(Steady::now() - at));
    }
    EXPECT_EQ(occurrences(daemon.err(), u8"Verbindung zum MQTT-Broker immer wieder gleich nach dem Verbinden getrennt: "
                                        u8"ein anderer Client mit derselben Kennung zendrilld-test? Läuft ein zweiter "
                                        u8"zendrilld mit dieser device_id?"),
              1u);
    EXPECT_LT(away[0], milliseconds(1800));
    EXPECT_GE(away[1], milliseconds(1500));
    EXPECT_GE(away[2], milliseconds(3500));
}

// A message over 1 KiB is refused unread; a huge one never reaches the
// daemon at all (MQTT 5 maximum packet size) and costs it no memory.
TEST_F(DaemonProgramTest, AHugeMessageCostsNoMemoryAndTheDaemonGoesOn) {
    quiet_line();
    ASSERT_NO_FATAL_FAILURE(start_sim({}));
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    ASSERT_NO_FATAL_FAILURE(wait_started());
    std::size_t f = watch->count();
    watch->publish(topic("set/timer/1"), std::string(2000, 'W'));
    auto r = result_of("set/timer/1", f);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, Json({{"command", "set/timer/1"}, {"ok", false}, {"message", u8"Nachricht zu lang (2000 Bytes, höchstens 1024)"}}));

    const long before = peak_rss_kib(daemon.pid());
    ASSERT_GT(before, 0);
    const std::size_t from = watch->count();
    watch->publish(topic("cmd/refresh"), std::string(20 << 20, 'x'));
    // The broker took it and passed it on to those who take it.
    ASSERT_TRUE(watch->wait(from, [&](const Message& m) { return m.topic == topic("cmd/refresh"); }, seconds(60)));
    Step s;
    ASSERT_NO_FATAL_FAILURE(command("cmd/refresh", "PRESS", "", s));
    EXPECT_EQ(s.result["ok"], true);
    std::size_t results = 0;
    for (std::size_t i = from; i < watch->count(); ++i)
        if (watch->messages()[i].topic == topic("result")) ++results;
    EXPECT_EQ(results, 1u);  // the refresh's; the huge one got none
    const long after = peak_rss_kib(daemon.pid());
    std::cout << "[ figure   ] peak RSS " << before << " KiB before a 20 MiB publish, " << after << " KiB after\n";
    EXPECT_LT(after - before, 2048);
    EXPECT_EQ(daemon.stop(SIGTERM, seconds(15)), 0);
}

}  // namespace
}  // namespace zd::test
