#include <gtest/gtest.h>

#include "cli/port_choice.h"
#include "core/backup_file.h"
#include "device/timer_ops.h"
#include "tests/unit/cli/cli_fixture.h"

namespace zd::test {
namespace {

const std::string kRecord = "0X:15040718304512000";

TEST(CliStatus, ReportAsThePaneShowsItInUtf8) {
    CliRig r;
    r.answers["0X\r"] = kRecord;
    EXPECT_EQ(r.run({"status"}), 0);
    EXPECT_EQ(r.port.writes, std::vector<std::string>{"0X\r"});
    EXPECT_EQ(r.out, u8"B203 Gerätestatus:\n\n\nDatum        : 15.04.2007\n\nZeit         : 18:30:45 Uhr\n\n"
                     u8"Dialogsprache: Deutsch\n\nEasy-Funktion: aus\n\nTimer        : ein\n\n"
                     u8"Einschaltbed.: Lautsprecher A\n\nIR-Empfänger : ein\n");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.port.closed);
}

TEST(CliStatus, JsonCarriesTheReportsTexts) {
    CliRig r;
    r.answers["0X\r"] = "0X:31129923595927431";  // easy function 7 shows nothing, timer 4 reads "aus"
    EXPECT_EQ(r.run({"status", "--json"}), 0);
    EXPECT_EQ(r.out, u8R"({
  "record": "0X:31129923595927431",
  "date": "2099-12-31",
  "time": "23:59:59",
  "language": "Französisch",
  "easy_function": "",
  "timer": "aus",
  "power_on": "zuletzt aktivierte Lautsprecher",
  "ir": "aus",
  "settings": "2743"
}
)");
}

TEST(CliStatus, WrongLengthsFailWithTheirLength) {
    for (const std::string& reply : {std::string(), kRecord.substr(1), kRecord + "x"}) {
        CliRig r;
        if (!reply.empty()) r.answers["0X\r"] = reply;
        EXPECT_EQ(r.run({"status"}), 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, u8"Abfrage Gerätestatus fehlgeschlagen (" + std::to_string(reply.size()) + ")\n");
    }
}

TEST(CliTimers, ListPrintsTheOverviewEntriesAndFailsOnASilentTimer) {
    CliRig r;
    r.answers["0C01\r"] = "0C011E";
    r.answers["0C02\r"] = "0C022D2403060121000200000213000";
    r.answers["0C03\r"] = "0C033W01010101050011063000071500";
    r.answers["0C05\r"] = "0C055E";
    EXPECT_EQ(r.run({"timers", "list"}), 1);
    EXPECT_EQ(r.out,
              "Timer 1 ist leer!\n\n\n\n\n"
              "NR.2  Datum: 24.03.2006   Zeit: 20:00 - 21:30 Uhr\n\n      Quelle: Tuner 12   Ziel: Tape1 \n\n\n"
              "NR.3  Tage: Mo Mi Fr   Zeit: 06:30 - 07:15 Uhr\n\n      Quelle: CD 05   Ziel: LS-A LS-B \n\n\n"
              "Abfrage Speicher 4 fehlgeschlagen!\n\n\n\n\n"
              "Timer 5 ist leer!\n\n\n\n\n");

    CliRig json;
    json.answers = r.answers;
    EXPECT_EQ(json.run({"timers", "list", "--json"}), 1);
    EXPECT_NE(json.out.find(R"("timer": 3,
    "state": "set",
    "record": "W01010101050011063000071500",
    "kind": "weekday",
    "days": [
      "Mo",
      "Mi",
      "Fr"
    ],
    "date": null,
    "source": "CD",
    "station": "05",
    "targets": [
      "LS-A",
      "LS-B"
    ],
    "start": "06:30",
    "end": "07:15")"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(R"("timer": 4,
    "state": "failed",
    "record": "",
    "kind": null,
    "days": [],
    "date": null,)"), std::string::npos);
}

TEST(CliTimers, ExportWritesTheBackupOnlyWhenEveryReadSucceeded) {
    CliRig r;
    r.sys.now = LocalTime{2026, 12, 6, 4, 5, 6};
    r.answers["0X\r"] = kRecord;
    r.answers["0C01\r"] = "0C011E";
    r.answers["0C02\r"] = "0C022D2403060121000200000213000";
    r.answers["0C03\r"] = "0C033W01010101050011063000071500";
    r.answers["0C05\r"] = "0C055E";
    EXPECT_EQ(r.run({"timers", "export", "b.ini"}), 1);  // timer 4 is silent
    EXPECT_EQ(r.sys.replace_calls, 0);
    EXPECT_EQ(r.err, "Abfrage Speicher 4 fehlgeschlagen!\nKeine Sicherung geschrieben\n");

    CliRig ok;
    ok.sys.now = r.sys.now;
    ok.answers = r.answers;
    ok.answers["0C04\r"] = "0C044E";
    EXPECT_EQ(ok.run({"timers", "export", "b.ini"}), 0);
    EXPECT_EQ(ok.sys.files["b.ini"],
              "; B203 Sicherung vom 06.12.2026 04:05:06\r\nB203Modus = 1200\r\nTimer1 = \r\n"
              "Timer2 = D2403060121000200000213000\r\nTimer3 = W01010101050011063000071500\r\nTimer4 = \r\n"
              "Timer5 = \r\n");
    EXPECT_EQ(ok.port.writes, (std::vector<std::string>{"0X\r", "0C01\r", "0C02\r", "0C03\r", "0C04\r", "0C05\r"}));

    CliRig to_stdout;
    to_stdout.answers = ok.answers;
    EXPECT_EQ(to_stdout.run({"timers", "export", "-"}), 0);
    EXPECT_EQ(to_stdout.bytes.substr(to_stdout.bytes.find("B203Modus")), ok.sys.files["b.ini"].substr(42));
}

TEST(CliTimers, ExportRefusesAnUnwritableFileBeforeAnyTraffic) {
    CliRig r;
    r.sys.fail_writes = true;
    EXPECT_EQ(r.run({"timers", "export", "/nowhere/b.ini"}), 2);
    EXPECT_TRUE(r.opened.empty());
}

TEST(CliTimers, ImportRejectsTheFileOnOneBadEntryWithoutOpeningThePort) {
    // A good weekday record with one field spoilt at a time.
    const std::string good = "W01010100050010063000071500";
    auto spoilt = [&](std::size_t pos, const std::string& with) {
        return "Timer2 = " + good.substr(0, pos - 1) + with + good.substr(pos - 1 + with.size());
    };
    const std::string bad[] = {
        spoilt(3, "2"),                          // a day flag
        spoilt(9, "5"),                          // source
        spoilt(10, "30"),                        // station
        spoilt(12, "2"),                         // a target flag
        spoilt(16, "24"),                        // start hour
        spoilt(20, "60"),                        // start seconds
        spoilt(22, "2"),                         // end hour 2x -> 27
        "Timer2 = " + good.substr(1),            // 26 characters for W
        "Timer2 = D3002260121000200000213000",   // 30 February
        "Timer2 = D2403260621000200000213000",   // source 6 in a date record
        "Timer2 = X2403060121000200000213000",
        "B203Modus = 1300",
        "B203Modus = 12000",
    };
    for (const std::string& line : bad) {
        SCOPED_TRACE(line);
        CliRig r;
        r.sys.files["in.ini"] = std::string("Timer1 = W01010100050010063000071500\r\n") + line + "\r\n";
        EXPECT_EQ(r.run({"timers", "import", "in.ini"}), 2);
        EXPECT_TRUE(r.opened.empty());
        const std::string key = line.substr(0, line.find(' '));
        EXPECT_EQ(r.err, u8"Ungültiger Eintrag " + key + " in in.ini; nichts gesendet\n");
    }
}

TEST(CliTimers, ImportWritesErasesAndReadsBack) {
    CliRig r;
    r.sys.files["in.ini"] =
        "; B203\r\nB203Modus = 1201\r\nTimer1 = W01010100050010063000071500\r\nTimer2 = \r\n"
        "Timer3 = D2403260121000200000213000\r\n";
    r.answers["0E01W01010100050010063000071500\r"] = "OK";
    r.answers["0C01\r"] = "0C011W01010100050010063000071500";
    r.answers["0C02\r"] = "0C022W01010100050010063000071500";  // the erase did not take
    r.answers["0E03D2403260121000200000213000\r"] = "\x07";
    EXPECT_EQ(r.run({"timers", "import", "in.ini"}), 1);
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{"0S1201\r", "0E01W01010100050010063000071500\r", "0C01\r",
                                                       "0E02E\r", "0C02\r", "0E03D2403260121000200000213000\r"}));
    EXPECT_EQ(r.out, u8"Einstellung gesendet (0S1201)\nTimer 1: geschrieben\n"
                     u8"Timer 2: weicht nach dem Zurücklesen ab (gelesen: W01010100050010063000071500)\n"
                     u8"Timer 3: Die Daten wurden vom Controller mit einer Fehlermeldung quittiert !\n");
    EXPECT_EQ(r.err, u8"2 Timer nicht übernommen\n");
    // The erase waits 1000 ms before the read-back.
    EXPECT_EQ(r.port.write_times[4] - r.port.write_times[3], 1000);
}

TEST(CliTimers, DryRunPrintsTheCommandsAndSendsNothing) {
    CliRig r;
    r.sys.files["in.ini"] = "Timer5 = \r\nTimer4 = W01010100050010063000071500\r\n";
    EXPECT_EQ(r.run({"timers", "import", "in.ini", "--dry-run"}), 0);
    EXPECT_EQ(r.out, "0E04W01010100050010063000071500\n0E05E\n");
    EXPECT_TRUE(r.opened.empty());
}

TEST(CliSend, RefusedLinesSendNothing) {
    for (const char* line : {"0", "X0", " 0X", "", "0X\r1X", "0\xF0\x9F\x98\x80"}) {
        SCOPED_TRACE(line);
        CliRig r;
        EXPECT_EQ(r.run({"send", line}), 2);
        EXPECT_TRUE(r.opened.empty());
    }
}

TEST(CliSend, LineGoesOutInWindows1252WithoutDiscardAndTheReplyComesBack) {
    CliRig r;
    r.port.arrive(0, "old");
    r.answers[std::string("0\xC4X\r")] = "A\xE4";
    EXPECT_EQ(r.run({"send", u8"0ÄX"}), 0);
    EXPECT_EQ(r.port.writes, std::vector<std::string>{std::string("0\xC4X\r")});
    EXPECT_EQ(r.out, u8"oldAä\n");

    CliRig silent;
    EXPECT_EQ(silent.run({"send", "0X"}), 1);
    EXPECT_EQ(silent.err, u8"Rückmeldung: keine oder Timeout\n");
    EXPECT_EQ(silent.clock.now, 2000);
}

TEST(CliClock, ShiftAcrossMidnightCarriesTheDate) {
    CliRig r;
    r.answers["0X\r"] = "0X:31122623593012000";
    EXPECT_EQ(r.run({"clock", "shift", "+1"}), 0);
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{"0X\r", "0T005930\r", "0D010127\r"}));
    EXPECT_EQ(r.out, "Zeit gesendet (0T005930)\nDatum gesendet (0D010127)\n");

    CliRig back;
    back.answers["0X\r"] = "0X:01012700100012000";
    EXPECT_EQ(back.run({"clock", "shift", "-1"}), 0);
    EXPECT_EQ(back.port.writes, (std::vector<std::string>{"0X\r", "0T231000\r", "0D311226\r"}));
}

// Local time that runs with the virtual clock.
LocalTime after(LocalTime t, long long ms) {
    long long total = t.millisecond + ms;
    t.millisecond = static_cast<int>(total % 1000);
    long long s = t.second + total / 1000;
    t.second = static_cast<int>(s % 60);
    long long m = t.minute + s / 60;
    t.minute = static_cast<int>(m % 60);
    long long h = t.hour + m / 60;
    t.hour = static_cast<int>(h % 24);
    if (h >= 24) {  // the tests cross one midnight at most, at a year's end
        t = LocalTime{t.year + 1, 1, 1, t.hour, t.minute, t.second, t.millisecond};
    }
    return t;
}

TEST(CliClock, SyncWaitsPastMidnightAndChecksTheDeviceClock) {
    CliRig r;
    const LocalTime start{2026, 12, 31, 23, 59, 58, 400};
    r.sys.now = start;
    r.clock.on_pause = [&](long long now) { r.sys.now = after(start, now); };
    r.answers["0X\r"] = "0X:01012700000112000";
    EXPECT_EQ(r.run({"clock", "sync"}), 0);
    ASSERT_GE(r.port.writes.size(), 3u);
    EXPECT_EQ(r.port.writes[0], "0T000000\r");
    EXPECT_EQ(r.port.writes[1], "0D010127\r");
    EXPECT_EQ(r.port.writes[2], "0X\r");
    EXPECT_EQ(r.port.write_times[1] - r.port.write_times[0], 150);
    EXPECT_GE(r.port.write_times[0], 1600);  // midnight has passed
    EXPECT_EQ(r.out.substr(0, 51), "Zeit gesendet (0T000000)\nDatum gesendet (0D010127)\n");

    CliRig off;
    off.sys.now = LocalTime{2026, 6, 1, 12, 0, 0, 0};
    off.answers["0X\r"] = "0X:01062612000512000";  // 5 s ahead
    EXPECT_EQ(off.run({"clock", "sync"}), 1);
    EXPECT_EQ(off.err, u8"Die Geräteuhr weicht um +5 s von der PC-Uhr ab\n");

    CliRig silent;
    EXPECT_EQ(silent.run({"clock", "sync"}), 1);
    EXPECT_EQ(silent.err, u8"Abfrage Gerätestatus fehlgeschlagen (0)\n");
}

TEST(CliClock, AcknowledgementsOfTheSetCommandsDoNotSpoilTheCheck) {
    CliRig r;
    r.sys.now = LocalTime{2026, 6, 1, 12, 0, 0, 0};
    r.answers["0T120000\r"] = "OK";
    r.answers["0D010626\r"] = "OK";
    r.port.on_write = [&](const std::string& w) {
        if (w == "0X\r") r.port.arrive_after(0, "0X:01062612000012000\r\n");
        else r.port.arrive_after(120, "OK\r\n");  // a slow acknowledgement
    };
    EXPECT_EQ(r.run({"clock", "sync"}), 0) << r.err;
}

TEST(CliSettings, SendsOnlyDigitsWithinTheirLists) {
    CliRig r;
    EXPECT_EQ(r.run({"settings", "send", "2214"}), 0);
    EXPECT_EQ(r.port.writes, std::vector<std::string>{"0S2214\r"});
    EXPECT_EQ(r.out, "Einstellung gesendet (0S2214)\n");
    for (const char* bad : {"3000", "0300", "0020", "0005", "120", "12000", "12a0"}) {
        CliRig b;
        EXPECT_EQ(b.run({"settings", "send", bad}), 2) << bad;
        EXPECT_TRUE(b.opened.empty());
    }
    CliRig ir;
    EXPECT_EQ(ir.run({"ir", "off"}), 0);
    EXPECT_EQ(ir.port.writes, std::vector<std::string>{"0R1\r"});
    EXPECT_EQ(ir.out, "IR aus gesendet (0R1)\n");
}

TEST(CliScan, ListsTheTenAddresses) {
    CliRig r;
    r.answers["0X\r"] = kRecord;
    r.answers["3X\r"] = "305";
    EXPECT_EQ(r.run({"scan"}), 0);
    EXPECT_EQ(r.out.substr(0, 72), "Port 0:" + kRecord + " -> B203\nPort 1: -> Fehler\nPort 2: -> Fehler\n");
    EXPECT_NE(r.out.find("Port 3:305 -> B225\n"), std::string::npos);
    EXPECT_EQ(r.port.writes.size(), 10u);
}

TEST(CliPort, BusyAndMissingPortsExitWithThree) {
    CliRig busy;
    busy.open_result = ExclusiveOpen::Result::Busy;
    EXPECT_EQ(busy.run({"--wait", "5", "status"}), 3);
    EXPECT_EQ(busy.wait_ms, 5000);
    EXPECT_EQ(busy.err, "Port /dev/ttyUSB0 ist belegt (5 s gewartet)\n");

    CliRig missing;
    missing.open_result = ExclusiveOpen::Result::Failed;
    EXPECT_EQ(missing.run({"status"}), 3);
    EXPECT_EQ(missing.err, u8"Konnte /dev/ttyUSB0 nicht öffnen ! (Gerät nicht vorhanden)\n");
}

TEST(CliPort, ChoiceOrderAndForms) {
    struct Case {
        std::optional<std::string> option, env, ini;
        bool posix;
        const char* port;  // nullptr: a usage error
    } cases[] = {
        {"/dev/ttyUSB1", "/dev/ttyS0", "Comport = /dev/ttyS1\r\n", true, "/dev/ttyUSB1"},
        {std::nullopt, "/dev/ttyS0", "Comport = /dev/ttyS1\r\n", true, "/dev/ttyS0"},
        {std::nullopt, std::nullopt, "Comport = /dev/ttyS1\r\n", true, "/dev/ttyS1"},
        {std::nullopt, std::nullopt, "Comport = Com1:\r\n", true, nullptr},
        {std::nullopt, std::nullopt, std::nullopt, true, nullptr},
        {"COM3", std::nullopt, std::nullopt, true, nullptr},
        {"COM3", std::nullopt, std::nullopt, false, "COM3:"},
        {"Com3:", std::nullopt, std::nullopt, false, "Com3:"},
        {std::nullopt, std::nullopt, "Comport = Com2:\r\n", false, "Com2:"},
        {"COM12345678", std::nullopt, std::nullopt, false, nullptr},
    };
    for (const auto& c : cases) {
        const cli::PortChoice p = cli::choose_port({c.option, c.env, c.ini}, c.posix);
        if (c.port) {
            EXPECT_EQ(p.port, c.port);
            EXPECT_EQ(p.error, "");
        } else {
            EXPECT_NE(p.error, "") << p.port;
        }
    }
}

TEST(CliArguments, UsageErrorsAndHelp) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"bogus"}, {"clock"}, {"clock", "shift", "2"}, {"ir", "maybe"}, {"status", "extra"},
             {"timers", "import"}, {"--wait", "x", "status"}}) {
        CliRig r;
        EXPECT_EQ(r.run_bare(args), 2);
        EXPECT_TRUE(r.opened.empty());
        EXPECT_NE(r.err.find("zendrill-cli --help"), std::string::npos);
    }
    CliRig help;
    EXPECT_EQ(help.run_bare({"status", "--help"}), 0);
    EXPECT_NE(help.out.find(u8"Rückgabewerte:"), std::string::npos);
    CliRig late;  // options after the command word
    late.answers["0X\r"] = kRecord;
    EXPECT_EQ(late.run_bare({"status", "--json", "--port", "/dev/x"}), 0);
    EXPECT_EQ(late.opened, std::vector<std::string>{"/dev/x"});
}

}  // namespace
}  // namespace zd::test

namespace zd::test {
namespace {

// A daemon behind the control socket, as zendrill-cli meets it.
struct FakeDaemon : LocalConnection {
    std::vector<std::string>& sent;
    std::string answer;  // empty: no answer in time
    bool* open;
    FakeDaemon(std::vector<std::string>& s, std::string a, bool* o) : sent(s), answer(std::move(a)), open(o) {
        *open = true;
    }
    ~FakeDaemon() override { *open = false; }
    bool send_line(const std::string& line) override {
        sent.push_back(line);
        return true;
    }
    bool read_line(int, std::size_t, std::string& line) override {
        line = answer;
        return !answer.empty();
    }
};

TEST(CliLoan, TheLineIsBorrowedFromADaemonThatHoldsIt) {
    struct Case {
        const char* name;
        bool daemon;
        const char* answer;
        int status;
        bool port_opened;
        const char* err;
    } cases[] = {
        {"no daemon", false, "", 0, true, ""},
        {"lent", true, "LENT", 0, true, ""},
        {"another port", true, "OTHER /dev/ttyUSB1", 0, true, ""},
        {"silent daemon", true, "", 3, false, "zendrilld hat den Port /dev/ttyUSB0 nicht freigegeben (30 s gewartet)\n"},
        {"refused", true, "ERROR zu viele Verbindungen", 3, false,
         "zendrilld verleiht den Port nicht: zu viele Verbindungen\n"},
        {"garbled", true, "JA", 3, false, u8"Unverständliche Antwort von zendrilld an /run/zendrill/zendrilld.sock\n"},
    };
    for (const Case& c : cases) {
        CliRig rig;
        rig.answers["0X\r"] = "0X:15040718304512000";
        std::vector<std::string> sent;
        std::string asked_path;
        bool connection_open = false;
        bool open_while_port_used = false;
        rig.port.on_write = [&](const std::string& w) {
            open_while_port_used = connection_open;
            if (w == "0X\r") rig.port.arrive_after(0, "0X:15040718304512000\r\n");
        };
        rig.host.connect_service = [&](const std::string& path, int) -> std::unique_ptr<LocalConnection> {
            asked_path = path;
            if (!c.daemon) return nullptr;
            return std::make_unique<FakeDaemon>(sent, c.answer, &connection_open);
        };
        EXPECT_EQ(rig.run({"status"}), c.status) << c.name;
        EXPECT_EQ(asked_path, "/run/zendrill/zendrilld.sock") << c.name;
        if (c.daemon) {
            EXPECT_EQ(sent, std::vector<std::string>{"LEND /dev/ttyUSB0\n"}) << c.name;
        }
        EXPECT_EQ(!rig.opened.empty(), c.port_opened) << c.name;
        EXPECT_EQ(rig.err, c.err) << c.name;
        // The loan is held while the port is in use and given back at the end.
        EXPECT_EQ(open_while_port_used, std::string(c.answer) == "LENT") << c.name;
        EXPECT_FALSE(connection_open) << c.name;
    }
}

TEST(CliLoan, ZendrillSocketNamesTheDaemon) {
    CliRig rig;
    rig.host.socket_variable = "/tmp/zd.sock";
    std::string asked;
    rig.host.connect_service = [&](const std::string& path, int) -> std::unique_ptr<LocalConnection> {
        asked = path;
        return nullptr;
    };
    rig.run({"status"});
    EXPECT_EQ(asked, "/tmp/zd.sock");
}

}  // namespace
}  // namespace zd::test
