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

TEST(CliStatus, ARecordWithoutARealDateOrTimeIsAFailedRead) {
    struct Case {
        std::string record;
        std::string err;
    } cases[] = {
        {"0X:32132699999912000", u8"Abfrage Gerätestatus fehlgeschlagen: ungültiges Datum \"321326\", "
                                 u8"ungültige Uhrzeit \"999999\"\n"},
        {"0X:29022718304512000", u8"Abfrage Gerätestatus fehlgeschlagen: ungültiges Datum \"290227\"\n"},
    };
    for (const auto& c : cases) {
        for (const char* json : {"", "--json"}) {
            SCOPED_TRACE(c.record + json);
            CliRig r;
            r.answers["0X\r"] = c.record;
            std::vector<std::string> args{"status"};
            if (*json) args.push_back(json);
            EXPECT_EQ(r.run(args), 1);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, c.err);
        }
    }
}

// A line the device holds with XOFF takes nothing: the write gives up at
// its deadline, the run waits for no reply, says why and fails, also when
// what it read afterwards looks right.
TEST(CliHeldLine, ARunWhoseWriteDidNotGoOutFails) {
    const std::string why = u8"Senden fehlgeschlagen: die Leitung nimmt nichts an (XOFF vom Gerät?)\n";
    const struct {
        std::vector<std::string> args;
        std::string out, err;
    } cases[] = {
        {{"status"}, "", u8"Abfrage Gerätestatus fehlgeschlagen (0)\n" + why},
        {{"ir", "on"}, "IR ein gesendet (0R0)\n", why},  // the device had it on already
    };
    for (const auto& c : cases) {
        CliRig rig;
        rig.answers["0X\r"] = "0X:15040718304512000";
        rig.port.held = true;
        EXPECT_EQ(rig.run(c.args), 1) << c.args[0];
        EXPECT_EQ(rig.out, c.out);
        EXPECT_EQ(rig.err, c.err);
        EXPECT_LT(rig.clock.now, 4000) << c.args[0];  // the 4 s reply wait was skipped
    }
}

TEST(CliTimers, ListPrintsTheOverviewEntriesAndFailsOnASilentTimer) {
    CliRig r;
    r.answers["0C01\r"] = "0C011E";
    r.answers["0C02\r"] = "0C022D2403060121000200000213000";
    r.answers["0C03\r"] = "0C033W01010101050011063000071500";
    r.answers["0C05\r"] = "0C055E";
    EXPECT_EQ(r.run({"timers", "list"}), 1);
    EXPECT_EQ(r.err, "Abfrage Speicher 4 fehlgeschlagen!\n");  // not only where cron sends nothing
    EXPECT_EQ(r.out,
              "Timer 1 ist leer!\n\n\n\n\n"
              "NR.2  Datum: 24.03.2006   Zeit: 20:00 - 21:30 Uhr\n\n      Quelle: Tuner 12   Ziel: Tape1 \n\n\n"
              "NR.3  Tage: Mo Mi Fr   Zeit: 06:30 - 07:15 Uhr\n\n      Quelle: CD 05   Ziel: LS-A LS-B \n\n\n"
              "Abfrage Speicher 4 fehlgeschlagen!\n\n\n\n\n"
              "Timer 5 ist leer!\n\n\n\n\n");

    CliRig json;
    json.answers = r.answers;
    EXPECT_EQ(json.run({"timers", "list", "--json"}), 1);
    EXPECT_EQ(json.err, "Abfrage Speicher 4 fehlgeschlagen!\n");
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

TEST(CliTimers, ExportNeedsARealStatusRecord) {
    CliRig r;
    r.answers["0X\r"] = "0X:00000000000012000";
    EXPECT_EQ(r.run({"timers", "export", "b.ini"}), 1);
    EXPECT_EQ(r.err, u8"Abfrage Gerätestatus fehlgeschlagen: ungültiges Datum \"000000\"\n"
                     u8"Keine Sicherung geschrieben\n");
    EXPECT_EQ(r.sys.replace_calls, 0);
    EXPECT_EQ(r.port.writes, std::vector<std::string>{"0X\r"});
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
    struct Case {
        std::string line;
        std::string why;
    } cases[] = {
        // The device refuses a record with other seconds; it must fail here, not half way.
        {spoilt(20, "30"), u8"Timer2: Sekunden der Startzeit müssen 00 sein"},
        {spoilt(10, "30"), "Timer2: Station \"30\" gibt es nicht (00-29)"},
        {"Timer2 = " + good.substr(0, 26), "Timer2: ein Wochentag-Datensatz hat 27 Zeichen, dieser 26"},
        {"B203Modus = 1300 \t", u8"B203Modus: Easy-Funktion \"3\" gibt es nicht (0-2)"},
        {"Timer6 = ", u8"unbekannter Schlüssel \"Timer6\" (bekannt: B203Modus, Timer1 bis Timer5)"},
        {"Timer1 = ", "Timer1 steht schon in Zeile 1"},
        {"Timer2 W01010100050010063000071500", u8"\"Timer2 W01010100050010063000071500\" ist kein Eintrag "
                                               u8"(Schlüssel = Wert)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        for (const bool dry_run : {false, true}) {
            CliRig r;
            r.sys.files["in.ini"] = "Timer1 = W01010100050010063000071500\r\n" + c.line + "\r\n";
            std::vector<std::string> args{"timers", "import", "in.ini"};
            if (dry_run) args.push_back("--dry-run");
            EXPECT_EQ(r.run(args), 2);
            EXPECT_TRUE(r.opened.empty());
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "Zeile 2: " + c.why + "\nin.ini: 1 fehlerhafte Zeile; nichts gesendet\n");
        }
    }
}

TEST(CliTimers, ImportListsEveryBadLineUpToALimit) {
    CliRig r;
    std::string text = "B203Modus = 1200\nTimer0 = \nTmer1 = \n";
    for (int i = 0; i < 30; ++i) text += "?\n";
    r.sys.files["in.ini"] = text;
    EXPECT_EQ(r.run({"timers", "import", "in.ini"}), 2);
    std::string expected = u8"Zeile 2: unbekannter Schlüssel \"Timer0\" (bekannt: B203Modus, Timer1 bis Timer5)\n"
                           u8"Zeile 3: unbekannter Schlüssel \"Tmer1\" (bekannt: B203Modus, Timer1 bis Timer5)\n";
    for (int line = 4; line < 22; ++line)
        expected += "Zeile " + std::to_string(line) + u8": \"?\" ist kein Eintrag (Schlüssel = Wert)\n";
    expected += "... und 12 weitere\nin.ini: 32 fehlerhafte Zeilen; nichts gesendet\n";
    EXPECT_EQ(r.err, expected);
    EXPECT_TRUE(r.opened.empty());
}

TEST(CliTimers, ImportOfAFileWithNothingToSend) {
    CliRig r;
    r.sys.files["in.ini"] = "; only a comment\r\n\r\n \t\r\n";
    EXPECT_EQ(r.run({"timers", "import", "in.ini"}), 2);
    EXPECT_EQ(r.err, u8"in.ini enthält weder B203Modus noch Timer1 bis Timer5; nichts gesendet\n");
    EXPECT_TRUE(r.opened.empty());
}

TEST(CliTimers, ImportWritesErasesAndReadsBack) {
    CliRig r;
    r.sys.files["in.ini"] =
        "; B203\r\nB203Modus = 1201\r\nTimer1 = W01010100050010063000071500\r\nTimer2 = \r\n"
        "Timer3 = D2403260121000200000213000\r\n";
    r.answers["0X\r"] = "0X:15040718304512011";
    r.answers["0E01W01010100050010063000071500\r"] = "OK";
    r.answers["0C01\r"] = "0C011W01010100050010063000071500";
    r.answers["0C02\r"] = "0C022W01010100050010063000071500";  // the erase did not take
    r.answers["0E03D2403260121000200000213000\r"] = "\x07";
    EXPECT_EQ(r.run({"timers", "import", "in.ini"}), 1);
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{"0S1201\r", "0X\r", "0E01W01010100050010063000071500\r",
                                                       "0C01\r", "0E02E\r", "0C02\r",
                                                       "0E03D2403260121000200000213000\r"}));
    EXPECT_EQ(r.out, u8"Einstellung gesendet (0S1201)\nTimer 1: geschrieben\n"
                     u8"Timer 2: weicht nach dem Zurücklesen ab (gelesen: W01010100050010063000071500)\n"
                     u8"Timer 3: Die Daten wurden vom Controller mit einer Fehlermeldung quittiert !\n");
    EXPECT_EQ(r.err, u8"Timer 2: weicht nach dem Zurücklesen ab (gelesen: W01010100050010063000071500)\n"
                     u8"Timer 3: Die Daten wurden vom Controller mit einer Fehlermeldung quittiert !\n"
                     u8"2 Timer nicht übernommen\n");
    // The erase waits 1000 ms before the read-back.
    EXPECT_EQ(r.port.write_times[5] - r.port.write_times[4], 1000);
}

TEST(CliTimers, ImportSettingsThatDidNotTakeFailTheRun) {
    CliRig r;
    r.sys.files["in.ini"] = "B203Modus = 1201\r\nTimer1 = \r\n";
    r.answers["0X\r"] = "0X:15040718304512001";  // still 1200
    r.answers["0C01\r"] = "0C011E";
    EXPECT_EQ(r.run({"timers", "import", "in.ini"}), 1);
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{"0S1201\r", "0X\r", "0E01E\r", "0C01\r"}));
    const std::string not_taken = u8"Einstellung gesendet (0S1201), aber nicht übernommen: das Gerät meldet 1200\n";
    EXPECT_EQ(r.out, not_taken + u8"Timer 1: gelöscht\n");
    EXPECT_EQ(r.err, not_taken);
}

TEST(CliTimers, ImportStopsAtASilentDevice) {
    CliRig r;
    r.sys.files["in.ini"] = "B203Modus = 1201\r\nTimer1 = \r\nTimer4 = W01010100050010063000071500\r\n";
    EXPECT_EQ(r.run({"timers", "import", "in.ini"}), 1);
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{"0S1201\r", "0X\r"}));
    const std::string silent =
        u8"Einstellung gesendet (0S1201), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (0)\n";
    EXPECT_EQ(r.out, silent);
    EXPECT_EQ(r.err, silent + u8"Das Gerät antwortet nicht; nicht gesendet: Timer 1, Timer 4\n");
}

TEST(CliTimers, DryRunPrintsTheCommandsAndSendsNothing) {
    CliRig r;
    r.sys.files["in.ini"] = "Timer5 = \r\nTimer4 = W01010100050010063000071500\r\n";
    EXPECT_EQ(r.run({"timers", "import", "in.ini", "--dry-run"}), 0);
    EXPECT_EQ(r.out, "0E04W01010100050010063000071500\n0E05E\n");
    EXPECT_TRUE(r.opened.empty());
}

TEST(CliSend, RefusedLinesSendNothing) {
    const std::string address_first =
        u8"Eine Befehlszeile hat mindestens 2 Zeichen und beginnt mit der Geräteadresse (0-9); nichts gesendet\n";
    struct Case {
        std::string line;
        std::string err;
    } cases[] = {
        {"0", address_first},
        {"X0", address_first},
        {" 0X", address_first},
        {"", address_first},
        {"0X\x13", "Steuerzeichen 0x13 (XOFF) an Stelle 3; nichts gesendet\n"},
        {"0\x11", "Steuerzeichen 0x11 (XON) an Stelle 2; nichts gesendet\n"},
        {"0X\r1X", "Steuerzeichen 0x0D (CR) an Stelle 3; nichts gesendet\n"},
        {"0X\n", "Steuerzeichen 0x0A (LF) an Stelle 3; nichts gesendet\n"},
        {u8"0Ä\tX", "Steuerzeichen 0x09 (TAB) an Stelle 3; nichts gesendet\n"},
        {"0X\x1B[2J", "Steuerzeichen 0x1B (ESC) an Stelle 3; nichts gesendet\n"},
        {"0X\x7F", "Steuerzeichen 0x7F (DEL) an Stelle 3; nichts gesendet\n"},
        {"0\xF0\x9F\x98\x80",
         u8"Die Zeile enthält Zeichen, die es in Windows-1252 nicht gibt; nichts gesendet\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        CliRig r;
        EXPECT_EQ(r.run({"send", c.line}), 2);
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(r.opened.empty());
    }
}

TEST(CliSend, LineGoesOutInWindows1252AndOnlyThisRunsReplyComesBack) {
    CliRig r;
    r.port.arrive(0, "0X:15040718304512000\r\n");  // a late answer to an earlier run
    r.port.arrive(150, "OK\r\n");                  // still arriving at the open
    r.answers[std::string("0\xC4X\r")] = "A\xE4";
    EXPECT_EQ(r.run({"send", u8"0ÄX"}), 0);
    EXPECT_EQ(r.port.writes, std::vector<std::string>{std::string("0\xC4X\r")});
    EXPECT_EQ(r.out, u8"Aä\n");
    EXPECT_EQ(r.port.write_times[0], 400);  // two quiet polls after the one that found the last stale byte

    // Within the run nothing is discarded: what comes after the line is the reply.
    CliRig early;
    early.port.on_write = [&](const std::string&) {
        early.port.arrive_after(0, "A");
        early.port.arrive_after(300, "B\r\n");
    };
    EXPECT_EQ(early.run({"send", "0X"}), 0);
    EXPECT_EQ(early.out, "AB\n");

    CliRig silent;
    EXPECT_EQ(silent.run({"send", "0X"}), 1);
    EXPECT_EQ(silent.err, u8"Rückmeldung: keine oder Timeout\n");
    EXPECT_EQ(silent.clock.now, 200 + 2000);
}

TEST(CliClock, ShiftAcrossMidnightCarriesTheDateAndReadsTheClockBack) {
    CliRig r;
    r.answers_in_turn["0X\r"] = {"0X:31122623593012000", "0X:01012700593112000"};
    EXPECT_EQ(r.run({"clock", "shift", "+1"}), 0) << r.err;
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{"0X\r", "0T005930\r", "0D010127\r", "0X\r"}));
    EXPECT_EQ(r.out, "Zeit gesendet (0T005930)\nDatum gesendet (0D010127)\n");
    EXPECT_EQ(r.err, "");

    CliRig back;
    back.answers_in_turn["0X\r"] = {"0X:01012700100012000", "0X:31122623100012000"};
    EXPECT_EQ(back.run({"clock", "shift", "-1"}), 0) << back.err;
    EXPECT_EQ(back.port.writes, (std::vector<std::string>{"0X\r", "0T231000\r", "0D311226\r", "0X\r"}));
}

TEST(CliClock, AShiftTheDeviceDidNotTakeFails) {
    struct Case {
        std::string check;  // the record read back, "" for none
        int exit;
        std::string err;
    } cases[] = {
        {"0X:15040717304812000", 0, ""},  // three seconds on
        {"0X:15040717304312000", 0, ""},  // the device rounds
        {"0X:15040718304812000", 1,
         u8"Zeit gesendet (0T173045), aber nicht übernommen: das Gerät meldet 15.04.2007 18:30:48\n"},
        {"0X:16040717304812000", 1,
         u8"Zeit gesendet (0T173045), aber nicht übernommen: das Gerät meldet 16.04.2007 17:30:48\n"},
        {"0X:15040717310012000", 1,
         u8"Zeit gesendet (0T173045), aber nicht übernommen: das Gerät meldet 15.04.2007 17:31:00\n"},
        {"", 1, u8"Zeit gesendet (0T173045), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (0)\n"},
        {"0X:150407173099", 1,
         u8"Zeit gesendet (0T173045), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (15)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.check);
        CliRig r;
        r.answers_in_turn["0X\r"] = {"0X:15040718304512000"};
        if (!c.check.empty()) r.answers_in_turn["0X\r"].push_back(c.check);
        EXPECT_EQ(r.run({"clock", "shift", "-1"}), c.exit);
        EXPECT_EQ(r.out, "Zeit gesendet (0T173045)\n");
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(CliClock, ShiftSendsNothingForAClockThatIsNotReal) {
    struct Case {
        std::string record;
        const char* step;
        std::string err;
    } cases[] = {
        {"0X:15040799999912000", "+1", u8"Abfrage Gerätestatus fehlgeschlagen: ungültige Uhrzeit \"999999\"\n"},
        {"0X:150407ZZZZZZ12000", "+1", u8"Abfrage Gerätestatus fehlgeschlagen: ungültige Uhrzeit \"ZZZZZZ\"\n"},
        {"0X:15040700ZZZZ12000", "-1", u8"Abfrage Gerätestatus fehlgeschlagen: ungültige Uhrzeit \"00ZZZZ\"\n"},
        {"0X:32122623300012000", "+1", u8"Abfrage Gerätestatus fehlgeschlagen: ungültiges Datum \"321226\"\n"},
        {"0X:1512261230001200", "+1", u8"Abfrage Gerätestatus fehlgeschlagen (19)\n"},
        {"", "-1", u8"Abfrage Gerätestatus fehlgeschlagen (0)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record);
        CliRig r;
        if (!c.record.empty()) r.answers["0X\r"] = c.record;
        EXPECT_EQ(r.run({"clock", "shift", c.step}), 1);
        EXPECT_EQ(r.port.writes, std::vector<std::string>{"0X\r"});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(CliClock, SyncFailsOnACheckRecordWithoutARealClock) {
    CliRig r;
    r.sys.now = LocalTime{2026, 6, 1, 12, 0, 0, 0};
    r.answers["0X\r"] = "0X:01062612ZZ0012000";
    EXPECT_EQ(r.run({"clock", "sync"}), 1);
    EXPECT_EQ(r.out, "Zeit gesendet (0T120000)\nDatum gesendet (0D010626)\n");
    EXPECT_EQ(r.err, u8"Abfrage Gerätestatus fehlgeschlagen: ungültige Uhrzeit \"12ZZ00\"\n");
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

TEST(CliSettings, SendsOnlyDigitsWithinTheirListsAndChecksTheDeviceTookThem) {
    CliRig r;
    r.answers["0X\r"] = "0X:15040718304522140";
    EXPECT_EQ(r.run({"settings", "send", "2214"}), 0);
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{"0S2214\r", "0X\r"}));
    EXPECT_EQ(r.out, "Einstellung gesendet (0S2214)\n");
    EXPECT_EQ(r.err, "");
    for (const char* bad : {"3000", "0300", "0020", "0005", "120", "12000", "12a0"}) {
        CliRig b;
        EXPECT_EQ(b.run({"settings", "send", bad}), 2) << bad;
        EXPECT_TRUE(b.opened.empty());
    }
}

TEST(CliSettings, SettingsAndIrThatAreNotConfirmedFailOnStderr) {
    CliRig silent;
    EXPECT_EQ(silent.run({"settings", "send", "2214"}), 1);
    EXPECT_EQ(silent.port.writes, (std::vector<std::string>{"0S2214\r", "0X\r"}));
    EXPECT_EQ(silent.out, "");
    EXPECT_EQ(silent.err,
              u8"Einstellung gesendet (0S2214), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (0)\n");

    CliRig other;
    other.answers["0X\r"] = "0X:15040718304512000";
    EXPECT_EQ(other.run({"ir", "off"}), 1);
    EXPECT_EQ(other.port.writes, (std::vector<std::string>{"0R1\r", "0X\r"}));
    EXPECT_EQ(other.out, "");
    EXPECT_EQ(other.err, u8"IR aus gesendet (0R1), aber nicht übernommen: das Gerät meldet IR-Empfänger ein (0)\n");

    CliRig on;
    on.answers["0X\r"] = "0X:15040718304512000";
    EXPECT_EQ(on.run({"ir", "on"}), 0);
    EXPECT_EQ(on.out, "IR ein gesendet (0R0)\n");
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

// ---- a stop asked for by a signal ----

TEST(CliStop, ImportFinishesTheTimerInFlightAndSaysWhatWasNotSent) {
    CliRig r;
    r.sys.files["in.ini"] = "B203Modus = 1201\r\nTimer1 = \r\nTimer2 = W01010100050010063000071500\r\n"
                            "Timer3 = \r\nTimer5 = \r\n";
    r.answers["0X\r"] = "0X:15040718304512011";
    r.answers["0E02W01010100050010063000071500\r"] = "OK";
    r.answers["0C01\r"] = "0C011E";
    r.answers["0C02\r"] = "0C022W01010100050010063000071500";
    r.after_write = [&](const std::string& w) { r.stop = r.stop || w.rfind("0E02", 0) == 0; };
    EXPECT_EQ(r.run({"timers", "import", "in.ini"}), 1);
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{"0S1201\r", "0X\r", "0E01E\r", "0C01\r",
                                                       "0E02W01010100050010063000071500\r", "0C02\r"}));
    EXPECT_EQ(r.out, u8"Einstellung gesendet (0S1201)\nTimer 1: gelöscht\nTimer 2: geschrieben\n");
    EXPECT_EQ(r.err, "Abgebrochen; bearbeitet: Einstellung, Timer 1, Timer 2; nicht gesendet: Timer 3, Timer 5\n");
    EXPECT_TRUE(r.port.closed);
}

TEST(CliStop, DuringTheSettingsExchangeNoTimerIsSent) {
    CliRig r;
    r.sys.files["in.ini"] = "B203Modus = 1201\r\nTimer1 = \r\n";
    r.answers["0X\r"] = "0X:15040718304512011";
    r.after_write = [&](const std::string&) { r.stop = true; };
    EXPECT_EQ(r.run({"timers", "import", "in.ini"}), 1);
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{"0S1201\r", "0X\r"}));
    EXPECT_EQ(r.out, "Einstellung gesendet (0S1201)\n");
    EXPECT_EQ(r.err, "Abgebrochen; bearbeitet: Einstellung; nicht gesendet: Timer 1\n");
}

TEST(CliStop, BeforeTheFirstCommandNothingIsSent) {
    const std::vector<std::vector<std::string>> commands{
        {"status"}, {"timers", "list"}, {"timers", "import", "in.ini"}, {"send", "0X"}, {"ir", "on"}, {"scan"}};
    for (const auto& command : commands) {
        for (const auto result : {ExclusiveOpen::Result::Opened, ExclusiveOpen::Result::Busy}) {
            SCOPED_TRACE(command.front());
            CliRig r;
            r.sys.files["in.ini"] = "Timer1 = \r\n";
            r.open_result = result;
            r.stop = true;  // e.g. while the run waited for a busy port
            EXPECT_EQ(r.run(command), 1);
            EXPECT_TRUE(r.port.writes.empty());
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "Abgebrochen; nichts gesendet\n");
        }
    }
}

TEST(CliStop, ListExportAndScanStopBetweenExchanges) {
    CliRig list;
    list.answers["0C01\r"] = "0C011E";
    list.answers["0C02\r"] = "0C022E";
    list.after_write = [&](const std::string& w) { list.stop = list.stop || w == "0C02\r"; };
    EXPECT_EQ(list.run({"timers", "list"}), 1);
    EXPECT_EQ(list.port.writes, (std::vector<std::string>{"0C01\r", "0C02\r"}));
    EXPECT_EQ(list.out, "Timer 1 ist leer!\n\n\n\n\nTimer 2 ist leer!\n\n\n\n\n");
    EXPECT_EQ(list.err, "Abgebrochen; gelesen: Timer 1, Timer 2; nicht gelesen: Timer 3, Timer 4, Timer 5\n");

    CliRig json;
    json.answers = list.answers;
    json.after_write = [&](const std::string& w) { json.stop = json.stop || w == "0C02\r"; };
    EXPECT_EQ(json.run({"timers", "list", "--json"}), 1);
    EXPECT_EQ(json.out, "");  // no list that looks whole

    CliRig exp;
    exp.answers["0X\r"] = kRecord;
    exp.answers["0C01\r"] = "0C011E";
    exp.after_write = [&](const std::string& w) { exp.stop = exp.stop || w == "0C01\r"; };
    EXPECT_EQ(exp.run({"timers", "export", "b.ini"}), 1);
    EXPECT_EQ(exp.port.writes, (std::vector<std::string>{"0X\r", "0C01\r"}));
    EXPECT_EQ(exp.err, "Abgebrochen\nKeine Sicherung geschrieben\n");
    EXPECT_EQ(exp.sys.replace_calls, 0);

    CliRig scan;
    scan.answers["0X\r"] = kRecord;
    scan.after_write = [&](const std::string& w) { scan.stop = scan.stop || w == "3X\r"; };
    EXPECT_EQ(scan.run({"scan"}), 1);
    EXPECT_EQ(scan.port.writes, (std::vector<std::string>{"0X\r", "1X\r", "2X\r", "3X\r"}));
    EXPECT_EQ(scan.err, "Abgebrochen; gefragt: Adresse 0 bis 3; nicht gefragt: Adresse 4 bis 9\n");
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

namespace zd::test {
namespace {

// A daemon behind the control socket, as zendrill-cli meets it.
struct FakeDaemon : LocalConnection {
    std::vector<std::string>& sent;
    std::string answer;  // empty: no answer in time; "-": the daemon closed without one
    bool* open;
    bool closed_first = false;       // the daemon closed before it read the request
    std::vector<int>* waits = nullptr;  // each read's time limit
    FakeDaemon(std::vector<std::string>& s, std::string a, bool* o) : sent(s), answer(std::move(a)), open(o) {
        *open = true;
    }
    ~FakeDaemon() override { *open = false; }
    bool send_line(const std::string& line) override {
        sent.push_back(line);
        return !closed_first;
    }
    LineRead read_line(int timeout_ms, std::size_t, std::string& line) override {
        if (waits) waits->push_back(timeout_ms);
        line = answer == "-" ? "" : answer;
        return answer == "-" ? LineRead::Ended : answer.empty() ? LineRead::TimedOut : LineRead::Line;
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
        {"closed without an answer", true, "-", 3, false,
         "zendrilld hat den Port /dev/ttyUSB0 nicht freigegeben: die Verbindung endete ohne Antwort\n"},
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

// A daemon with every slot taken answers and closes at once, maybe before
// the request arrives: the run reads the refusal and says it, with no wait.
TEST(CliLoan, ARefusalBeforeTheRequestWasReadIsReportedWithoutAWait) {
    CliRig rig;
    std::vector<std::string> sent;
    std::vector<int> waits;
    bool open = false;
    rig.host.connect_service = [&](const std::string&, int) -> std::unique_ptr<LocalConnection> {
        auto d = std::make_unique<FakeDaemon>(sent, "ERROR zu viele Verbindungen", &open);
        d->closed_first = true;
        d->waits = &waits;
        return d;
    };
    EXPECT_EQ(rig.run({"status"}), 3);
    EXPECT_EQ(rig.err, "zendrilld verleiht den Port nicht: zu viele Verbindungen\n");
    EXPECT_EQ(waits, std::vector<int>{0});
    EXPECT_TRUE(rig.opened.empty());
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
