#include <gtest/gtest.h>

#include "zendrilld/requests.h"

namespace zd::daemon {
namespace {

using Kind = Request::Kind;

Parsed parse(const std::string& topic, const std::string& payload, bool raw = false) {
    return parse_request(topic, payload, raw, make_value_names());
}

TEST(Requests, ValidCommands) {
    struct Case {
        const char* topic;
        const char* payload;
        Kind kind;
        int position;
        char code;
    } cases[] = {
        {"set/language", "Englisch", Kind::Setting, 0, '0'},
        {"set/language", "Franz\xC3\xB6sisch", Kind::Setting, 0, '2'},
        {"set/easy_function", "Easy Remote + Local", Kind::Setting, 1, '1'},
        {"set/easy_function", "aus", Kind::Setting, 1, '2'},
        {"set/timer_function", "aus", Kind::Setting, 2, '1'},
        {"set/power_on", "zuletzt aktivierte Lautsprecher", Kind::Setting, 3, '3'},
        {"set/power_on", "Lautsprecher aus", Kind::Setting, 3, '4'},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.topic, c.payload);
        ASSERT_TRUE(p.ok) << c.topic << " " << p.message;
        EXPECT_EQ(p.request.kind, c.kind);
        std::array<char, 4> settings{};
        settings[static_cast<std::size_t>(c.position)] = c.code;
        EXPECT_EQ(p.request.settings, settings) << c.payload;
        EXPECT_EQ(p.request.command, c.topic);
    }
    EXPECT_TRUE(parse("set/ir", "ON").request.on);
    EXPECT_FALSE(parse("set/ir", "OFF").request.on);
    Parsed p = parse("set/timer/3", "W01010100050010063000071500");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.request.kind, Kind::WriteTimer);
    EXPECT_EQ(p.request.timer, 3);
    EXPECT_EQ(p.request.record, "W01010100050010063000071500");
    p = parse("cmd/erase/5", "PRESS");
    EXPECT_EQ(p.request.kind, Kind::EraseTimer);
    EXPECT_EQ(p.request.timer, 5);
    EXPECT_EQ(parse("cmd/test/1", "PRESS").request.kind, Kind::TestTimer);
    EXPECT_EQ(parse("cmd/clock_sync", "PRESS").request.kind, Kind::ClockSync);
    EXPECT_EQ(parse("cmd/refresh", "PRESS").request.kind, Kind::Refresh);
    EXPECT_FALSE(parse("cmd/clock_shift", "-1").request.forward);
    EXPECT_TRUE(parse("cmd/clock_shift", "+1").request.forward);
    p = parse("cmd/send", "0X", true);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.request.line, "0X");
}

TEST(Requests, InvalidCommandsSayWhatIsWrong) {
    struct Case {
        const char* topic;
        std::string payload;
        bool raw;
        const char* message;
    } cases[] = {
        {"set/language", "Deutsch ", false,
         "Dialogsprache: \"Deutsch \" gibt es nicht; erlaubt: Englisch, Deutsch, Französisch"},
        {"set/language", "deutsch", false,
         "Dialogsprache: \"deutsch\" gibt es nicht; erlaubt: Englisch, Deutsch, Französisch"},
        {"set/timer_function", "1", false, "Timer-Funktion: \"1\" gibt es nicht; erlaubt: ein, aus"},
        {"set/ir", "on", false, "IR-Empfänger: \"on\" gibt es nicht; erlaubt: ON, OFF"},
        {"set/timer/6", "W01010100050010063000071500", false, "Timer gibt es nur mit den Nummern 1 bis 5"},
        {"set/timer/0", "", false, "Timer gibt es nur mit den Nummern 1 bis 5"},
        {"set/timer/12", "", false, "Timer gibt es nur mit den Nummern 1 bis 5"},
        {"cmd/test/6", "PRESS", false, "Timer gibt es nur mit den Nummern 1 bis 5"},
        {"cmd/test/2", "press", false, "erwartet wird PRESS"},
        // Clearing a retained command (mosquitto_pub -r -n) must not erase anything.
        {"set/timer/2", "", false,
         "Timer 2: leerer Datensatz, nichts gesendet; gelöscht wird mit der Schaltfläche \"Timer 2 löschen\" (cmd/erase/2)"},
        {"cmd/erase/2", "", false, "erwartet wird PRESS"},
        {"cmd/erase/6", "PRESS", false, "Timer gibt es nur mit den Nummern 1 bis 5"},
        {"cmd/clock_shift", "+2", false, "erwartet wird +1 oder -1"},
        {"cmd/send", "0X", false, "Freie Befehle sind abgeschaltet (raw_commands = off)"},
        {"cmd/send", "X0", true, "Eine Befehlszeile hat mindestens 2 Zeichen und beginnt mit der Geräteadresse (0-9)"},
        {"cmd/send", "0X\x13", true, "Steuerzeichen 0x13 (XOFF) an Stelle 3"},
        {"cmd/send", "0X\xC2\x81", true, "Steuerzeichen 0x81 (C1) an Stelle 3"},
        {"cmd/send", "0X\xE2\x82\xAC\xF0\x9F\x98\x80", true, "Die Zeile enthält Zeichen, die es in Windows-1252 nicht gibt"},
        {"cmd/reboot", "PRESS", false, "Unbekannter Befehl \"cmd/reboot\""},
        {"set/ir", std::string(1025, 'O'), false, "Nachricht zu lang (1025 Bytes, höchstens 1024)"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.topic, c.payload, c.raw);
        EXPECT_FALSE(p.ok) << c.topic << " " << c.payload;
        EXPECT_EQ(p.message, c.message) << c.topic << " " << c.payload;
        EXPECT_EQ(p.request.command, c.topic);
    }
}

TEST(Requests, TimerRecordsFollowTheEditorsRule) {
    for (const char* bad : {"W0101010005001006300007150", "W01010100050010063001071500", "W01010100053010063000071500",
                            "X01010100050010063000071500", "D3002260121000200000213000", "W01010100050010243000071500"}) {
        const Parsed p = parse("set/timer/1", bad);
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_EQ(p.message.rfind("Timer 1: ", 0), 0u) << p.message;
    }
    EXPECT_TRUE(parse("set/timer/1", "D2403060121000200000213000").ok);
}

}  // namespace
}  // namespace zd::daemon
