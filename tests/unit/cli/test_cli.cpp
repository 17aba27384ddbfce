#include <gtest/gtest.h>

#include "cli/port_choice.h"
#include "core/backup_file.h"
#include "core/utf8.h"
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

// The answers of a device with timers 2 and 3 set.
std::map<std::string, std::string> full_device() {
    return {{"0X\r", kRecord},
            {"0C01\r", "0C011E"},
            {"0C02\r", "0C022D2403060121000200000213000"},
            {"0C03\r", "0C033W01010101050011063000071500"},
            {"0C04\r", "0C044E"},
            {"0C05\r", "0C055E"}};
}

TEST(CliTimers, ExportRefusesATargetItCannotWriteBeforeAnyTraffic) {
    const char* reasons[] = {io_text::kDevice, io_text::kFifo, io_text::kDirectory, io_text::kDanglingLink,
                             io_text::kReadOnly, io_text::kFolderMissing};
    for (const char* reason : reasons) {
        CliRig r;
        r.sys.unwritable["/dev/full"] = reason;
        EXPECT_EQ(r.run({"timers", "export", "/dev/full"}), 4);
        EXPECT_TRUE(r.opened.empty());
        EXPECT_EQ(r.sys.replace_calls, 0);
        EXPECT_EQ(r.err, "Die Datei /dev/full kann nicht geschrieben werden: " + utf8_from_1252(reason) +
                             "; nichts gesendet\n");
    }
}

TEST(CliTimers, ExportThatCannotBeStoredIsAFileError) {
    CliRig r;
    r.answers = full_device();
    r.sys.fail_writes = true;
    EXPECT_EQ(r.run({"timers", "export", "b.ini"}), 4);
    EXPECT_EQ(r.port.writes.size(), 6u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, u8"Die Datei b.ini konnte nicht geschrieben werden: kein Platz mehr auf dem Datenträger\n"
                     u8"Keine Sicherung geschrieben\n");

    CliRig to_stdout;
    to_stdout.answers = full_device();
    to_stdout.stdout_error = "kein Platz mehr auf dem Datentr\xE4ger";
    EXPECT_EQ(to_stdout.run({"timers", "export"}), 4);
    EXPECT_EQ(to_stdout.err, u8"Die Standardausgabe konnte nicht geschrieben werden: kein Platz mehr auf dem "
                             u8"Datenträger\nKeine vollständige Sicherung geschrieben\n");
}

TEST(CliOutput, EveryRunWhoseStdoutFailsEndsWithFour) {
    const std::vector<std::vector<std::string>> runs = {
        {"status"}, {"status", "--json"}, {"timers", "list"}, {"scan"}, {"timers", "export", "b.ini"}, {"--help"},
        {"--version"}, {"ir", "on"}};
    for (const auto& args : runs) {
        SCOPED_TRACE(args.front());
        CliRig r;
        r.answers = full_device();
        r.stdout_error = "nicht ge\xF6\x66\x66net";
        EXPECT_EQ(r.run(args), 4);
        EXPECT_EQ(r.err, u8"Die Standardausgabe konnte nicht geschrieben werden: nicht geöffnet\n");
    }
    // The backup itself was written; only its confirmation got lost.
    CliRig file;
    file.answers = full_device();
    file.stdout_error = "nicht ge\xF6\x66\x66net";
    EXPECT_EQ(file.run({"timers", "export", "b.ini"}), 4);
    EXPECT_EQ(file.sys.files.count("b.ini"), 1u);
    // A device that failed keeps its own status.
    CliRig silent;
    silent.stdout_error = "nicht ge\xF6\x66\x66net";
    EXPECT_EQ(silent.run({"timers", "list"}), 1);
}

TEST(CliTimers, ImportSaysWhyItsFileCannotBeRead) {
    struct Case {
        const char* reason;  // nullptr: a file too large
        std::string expected;
    } cases[] = {
        {"nicht vorhanden", "nicht vorhanden"},
        {io_text::kDirectory, "ein Verzeichnis, keine Datei"},
        {io_text::kDevice, u8"eine Gerätedatei, keine gewöhnliche Datei"},
        {io_text::kFifo, u8"eine benannte Pipe (FIFO), keine gewöhnliche Datei"},
        {"keine Berechtigung", "keine Berechtigung"},
        {nullptr, u8"zu groß: 65537 Bytes, höchstens 65536"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        CliRig r;
        if (c.reason)
            r.sys.unreadable["in.ini"] = c.reason;
        else
            r.sys.files["in.ini"] = "Timer1 = \r\n" + std::string(65537 - 11, ';');
        EXPECT_EQ(r.run({"timers", "import", "in.ini"}), 4);
        EXPECT_TRUE(r.opened.empty());
        EXPECT_EQ(r.err, "Die Datei in.ini ist nicht lesbar: " + c.expected + "; nichts gesendet\n");
        EXPECT_EQ(r.sys.read_limits, std::vector<std::size_t>{65536});
    }
}

TEST(CliTimers, ImportReadsStandardInputForADash) {
    CliRig r;
    r.in = "Timer5 = \r\nTimer4 = W01010100050010063000071500\r\n";
    EXPECT_EQ(r.run({"timers", "import", "-", "--dry-run"}), 0);
    EXPECT_EQ(r.out, "0E04W01010100050010063000071500\n0E05E\n");
    EXPECT_TRUE(r.sys.read_limits.empty());

    CliRig flood;
    flood.in = std::string(65537, '\n');
    EXPECT_EQ(flood.run({"timers", "import", "-"}), 4);
    EXPECT_TRUE(flood.opened.empty());
    EXPECT_EQ(flood.err, u8"Die Standardeingabe ist nicht lesbar: zu groß: mehr als 65536 Bytes; nichts gesendet\n");
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
        // Zendrill.ini saved with a byte-order mark, blanks after the path.
        {std::nullopt, std::nullopt, "\xEF\xBB\xBF" "Comport = /dev/ttyS1  \r\n", true, "/dev/ttyS1"},
        {std::nullopt, std::nullopt, "Comport = Com2: \t\r\n", false, "Com2:"},
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

TEST(CliArguments, EveryUsageErrorNamesWhatIsWrong) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "Kein Befehl angegeben"},
        {{"bogus"}, "Unerwartetes Argument \"bogus\""},
        {{"status", "extra"}, "Unerwartetes Argument \"extra\""},
        {{"status", "--verbose"}, "Unbekannte Option \"--verbose\""},
        {{"clock"}, "clock erwartet sync oder shift"},
        {{"clock", "shift", "2"}, "clock shift erwartet +1 oder -1"},
        {{"timers"}, "timers erwartet list, export oder import"},
        {{"settings"}, "settings erwartet send"},
        {{"settings", "send"}, "settings send erwartet vier Ziffern"},
        {{"send"}, "send erwartet eine Befehlszeile"},
        {{"ir", "maybe"}, "ir erwartet on oder off"},
        {{"timers", "import"}, u8"timers import erwartet eine Datei (\"-\" für die Standardeingabe)"},
        {{"timers", "import", ""}, u8"timers import: der Dateiname ist leer (für die Standardeingabe \"-\" angeben)"},
        {{"timers", "export", ""},
         u8"timers export: der Dateiname ist leer (für die Standardausgabe \"-\" oder keinen Namen angeben)"},
        {{"--port", "/dev/a", "--port", "/dev/b", "status"}, "--port ist mehrfach angegeben"},
        {{"-p/dev/a", "status", "--port=/dev/b"}, "--port ist mehrfach angegeben"},
        {{"status", "--port"}, "--port erwartet einen Port als Wert"},
        {{"--port", "", "status"}, "--port erwartet einen Port als Wert"},
        {{"--wait", "5", "--wait", "6", "status"}, "--wait ist mehrfach angegeben"},
        {{"--wait", "x", "status"}, "--wait erwartet ganze Sekunden von 0 bis 3600, nicht \"x\""},
        {{"--wait", "0x10", "status"}, "--wait erwartet ganze Sekunden von 0 bis 3600, nicht \"0x10\""},
        {{"--wait", "", "status"}, "--wait erwartet ganze Sekunden von 0 bis 3600, nicht \"\""},
        {{"--wait=-1", "status"}, "--wait erwartet ganze Sekunden von 0 bis 3600, nicht \"-1\""},
        {{"--wait", "3601", "status"}, "--wait erwartet ganze Sekunden von 0 bis 3600, nicht \"3601\""},
        {{"--wait", "1e3", "status"}, "--wait erwartet ganze Sekunden von 0 bis 3600, nicht \"1e3\""},
        {{"timers", "import", "in.ini", "--dry-run=ja"}, "--dry-run erwartet keinen Wert"},
        {{"timers", "import", "in.ini", "--dry-run=no"}, "--dry-run erwartet keinen Wert"},
        {{"status", "--json=ja"}, "--json erwartet keinen Wert"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        CliRig r;
        r.sys.files["in.ini"] = "Timer1 = \r\n";
        EXPECT_EQ(r.run_bare(c.args), 2);
        EXPECT_TRUE(r.opened.empty());
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.message + "\nHilfe: zendrill-cli --help\n");
    }
}

TEST(CliArguments, WaitTakesDecimalSecondsInEitherForm) {
    for (const auto& [args, ms] : std::vector<std::pair<std::vector<std::string>, int>>{
             {{"--wait", "0030", "status"}, 30000}, {{"status", "--wait=0"}, 0}, {{"--wait", "3600", "status"}, 3600000},
             {{"status"}, 30000}}) {
        CliRig r;
        r.answers["0X\r"] = kRecord;
        EXPECT_EQ(r.run(args), 0) << r.err;
        EXPECT_EQ(r.wait_ms, ms);
    }
}

TEST(CliArguments, PathsWithSlashesAreValuesOnEverySystem) {
    CliRig r;
    r.host.posix = false;  // the Windows build: "/x" is no option there either
    EXPECT_EQ(r.run_bare({"--port", "/dev/ttyS0", "timers", "import", "/tmp/in.ini", "--dry-run"}), 4);
    EXPECT_EQ(r.err, "Die Datei /tmp/in.ini ist nicht lesbar: nicht vorhanden; nichts gesendet\n");
}

TEST(CliArguments, HelpAndOptionsAfterTheCommand) {
    CliRig help;
    EXPECT_EQ(help.run_bare({"status", "--help"}), 0);
    EXPECT_NE(help.out.find(u8"Rückgabewerte:"), std::string::npos);
    EXPECT_NE(help.out.find(u8"\n  4  eine lokale Datei"), std::string::npos);
    CliRig late;  // options after the command word
    late.answers["0X\r"] = kRecord;
    EXPECT_EQ(late.run_bare({"status", "--json", "--port", "/dev/x"}), 0);
    EXPECT_EQ(late.opened, std::vector<std::string>{"/dev/x"});
}

// Well-formed UTF-8, and no "?" where a letter was lost on the way.
void expect_whole_letters(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '?') ADD_FAILURE() << "a ? in: " << text;
        if (c < 0x80) continue;
        std::size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        ASSERT_GT(extra, 0u) << "no UTF-8: " << text;
        for (std::size_t k = 1; k <= extra; ++k)
            ASSERT_TRUE(i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80) << text;
        i += extra;
    }
}

TEST(CliMessages, NoLetterIsLostAndTheUsersWordsStayAsTheyAre) {
    struct Case {
        std::vector<std::string> args;
        bool posix;
        std::string expected;  // a part of stderr
    } cases[] = {
        {{"--wait", u8"fünf", "status"}, true, u8"--wait erwartet ganze Sekunden von 0 bis 3600, nicht \"fünf\""},
        {{"--port", u8"Gerät", "status"}, true, u8"--port \"Gerät\" ist kein Gerätepfad (z. B. /dev/ttyUSB0"},
        {{"--port", u8"Zähler", "status"}, false, u8"--port \"Zähler\" ist kein Portname (z. B. COM3)"},
        {{"--port", "/dev/ttyUSB0", u8"Grüße"}, true, u8"Unerwartetes Argument \"Grüße\""},
        {{"--port", "/dev/ttyUSB0", "timers", "import", u8"März.ini"}, true,
         u8"Die Datei März.ini ist nicht lesbar: nicht vorhanden; nichts gesendet"},
        {{"--port", "/dev/ttyUSB0", "timers", "import", u8"Резерв.ini"}, true,
         u8"Die Datei Резерв.ini ist nicht lesbar: nicht vorhanden; nichts gesendet"},
        {{"--port", "/dev/ttyUSB0", "timers", "export", u8"日本.ini"}, true,
         u8"Die Datei 日本.ini kann nicht geschrieben werden: ein Verzeichnis, keine Datei; nichts gesendet"},
        {{"--port", "COM3", "timers", "export", u8"Резерв.ini"}, false,
         u8"Der Dateiname Резерв.ini enthält Zeichen, die es in Windows-1252 nicht gibt; nichts gesendet"},
        // A name that is no UTF-8 or would steer the terminal shows U+FFFD instead.
        {{"--port", "/dev/ttyUSB0", "timers", "import", "\xE4rger\x1B[2J.ini"}, true,
         u8"Die Datei \uFFFDrger\uFFFD[2J.ini ist nicht lesbar: nicht vorhanden"},
        {{"--port", "/dev/ttyUSB0", "status"}, true, u8"Konnte /dev/ttyUSB0 nicht öffnen ! (Gerät nicht vorhanden)"},
        {{"--port", "/dev/ttyUSB0", "send", "0X"}, true, u8"Rückmeldung: keine oder Timeout"},
        {{"--port", "/dev/ttyUSB0", "settings", "send", "9999"}, true, u8"Ungültige Einstellung \"9999\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        CliRig r;
        r.host.posix = c.posix;
        r.sys.unwritable[u8"日本.ini"] = io_text::kDirectory;
        if (c.expected.rfind("Konnte", 0) == 0) r.open_result = ExclusiveOpen::Result::Failed;
        EXPECT_NE(r.run_bare(c.args), 0);
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        expect_whole_letters(r.err);
        expect_whole_letters(r.out);
    }
    CliRig help;
    EXPECT_EQ(help.run_bare({"--help"}), 0);
    expect_whole_letters(help.out);
}

}  // namespace
}  // namespace zd::test
