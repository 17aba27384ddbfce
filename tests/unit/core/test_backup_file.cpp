#include <gtest/gtest.h>

#include "core/backup_file.h"
#include "core/timer_backup.h"

namespace zd::test {
namespace {

const std::string kWeekly = "W01010100050010063000071500";
const std::string kDated = "D2403260121000200000213000";

TEST(BackupFile, EveryLineEndIsALineEnd) {
    for (const char* end : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(end));
        const std::string text = std::string("; B203") + end + "B203Modus = 1201" + end + "Timer1 = " + kWeekly +
                                 end + "Timer2 = " + end + "Timer3 = " + kDated;  // the last line without an end
        const BackupImport r = read_backup_import(text);
        EXPECT_EQ(r.problems, std::vector<std::string>{});
        EXPECT_EQ(r.entries.settings, std::optional<std::string>("1201"));
        EXPECT_EQ(r.entries.timers[0], std::optional<std::string>(kWeekly));
        EXPECT_EQ(r.entries.timers[1], std::optional<std::string>(""));
        EXPECT_EQ(r.entries.timers[2], std::optional<std::string>(kDated));
        EXPECT_FALSE(r.entries.timers[3]);
        EXPECT_FALSE(r.entries.timers[4]);
    }
}

TEST(BackupFile, BlanksAndTabsAroundKeysAndValuesAreAlike) {
    for (const char* blank : {" ", "\t", " \t", "\t \t"}) {
        SCOPED_TRACE(testing::PrintToString(blank));
        const std::string b = blank;
        const BackupImport r = read_backup_import(b + "B203Modus" + b + "=" + b + "1200" + b + "\r\n" + b + "Timer4" +
                                                   b + "=" + b + kWeekly + b + "\r\nTimer5 =" + b + "\r\n" + b +
                                                   "; comment\r\n" + b + "\r\n");
        EXPECT_EQ(r.problems, std::vector<std::string>{});
        EXPECT_EQ(r.entries.settings, std::optional<std::string>("1200"));
        EXPECT_EQ(r.entries.timers[3], std::optional<std::string>(kWeekly));
        EXPECT_EQ(r.entries.timers[4], std::optional<std::string>(""));
    }
}

TEST(BackupFile, KeysIgnoreCaseAsEverywhereElse) {
    const BackupImport r = read_backup_import("b203modus = 1200\ntimer1 = \nTIMER2 = " + kWeekly + "\n");
    EXPECT_EQ(r.problem_count, 0u);
    EXPECT_EQ(r.entries.settings, std::optional<std::string>("1200"));
    EXPECT_EQ(r.entries.timers[0], std::optional<std::string>(""));
    EXPECT_EQ(r.entries.timers[1], std::optional<std::string>(kWeekly));
}

TEST(BackupFile, EveryLineNotUnderstoodIsReportedAndNothingIsTaken) {
    struct Case {
        std::string line;     // as line 2, after a good line 1
        std::string problem;  // "" : understood
    } cases[] = {
        {"", ""},
        {" \t ", ""},
        {"; Timer6 = x", ""},
        {"\t;", ""},
        {"Timer0 = ", "Zeile 2: unbekannter Schlüssel \"Timer0\" (bekannt: B203Modus, Timer1 bis Timer5)"},
        {"Timer6 = " + kWeekly, "Zeile 2: unbekannter Schlüssel \"Timer6\" (bekannt: B203Modus, Timer1 bis Timer5)"},
        {"Timer 2 = ", "Zeile 2: unbekannter Schlüssel \"Timer 2\" (bekannt: B203Modus, Timer1 bis Timer5)"},
        {"B203Mode = 1200", "Zeile 2: unbekannter Schlüssel \"B203Mode\" (bekannt: B203Modus, Timer1 bis Timer5)"},
        {"Tim\x1B" "er1 = ", "Zeile 2: unbekannter Schlüssel \"Tim<0x1B>er1\" (bekannt: B203Modus, Timer1 bis Timer5)"},
        {"= 1200", "Zeile 2: Eintrag ohne Schlüssel"},
        {"Timer1 = " + kDated, "Zeile 2: Timer1 steht schon in Zeile 1"},
        {"timer1 = ", "Zeile 2: Timer1 steht schon in Zeile 1"},
        {"[B203]", "Zeile 2: Abschnitt \"[B203]\" gehört nicht in eine Sicherung"},
        {"Timer2", "Zeile 2: \"Timer2\" ist kein Eintrag (Schlüssel = Wert)"},
        {"  x  ", "Zeile 2: \"x\" ist kein Eintrag (Schlüssel = Wert)"},
        {std::string(100, 'x'), "Zeile 2: \"" + std::string(40, 'x') + "...\" ist kein Eintrag (Schlüssel = Wert)"},
        {"B203Modus = ", "Zeile 2: B203Modus: vier Ziffern erwartet (Sprache 0-2, Easy-Funktion 0-2, Timer 0-1, "
                         "Einschaltbed. 0-4), gelesen \"\""},
        {"B203Modus = 12 00", "Zeile 2: B203Modus: vier Ziffern erwartet (Sprache 0-2, Easy-Funktion 0-2, "
                              "Timer 0-1, Einschaltbed. 0-4), gelesen \"12 00\""},
        {"Timer2 = W01010100050010063030071500", "Zeile 2: Timer2: Sekunden der Startzeit müssen 00 sein"},
        {"Timer2 = " + kWeekly + " ; note", "Zeile 2: Timer2: ein Wochentag-Datensatz hat 27 Zeichen, dieser 34"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const BackupImport r = read_backup_import("Timer1 = " + kWeekly + "\r\n" + c.line + "\r\n");
        if (c.problem.empty()) {
            EXPECT_EQ(r.problem_count, 0u);
            EXPECT_EQ(r.problems, std::vector<std::string>{});
            EXPECT_EQ(r.entries.timers[0], std::optional<std::string>(kWeekly));
        } else {
            EXPECT_EQ(r.problem_count, 1u);
            EXPECT_EQ(r.problems, std::vector<std::string>{c.problem});
            EXPECT_FALSE(r.entries.any());
        }
    }
}

TEST(BackupFile, ADuplicateIsReportedEvenWhenTheFirstWasBad) {
    const BackupImport r = read_backup_import("Timer3 = W1\nB203Modus = 1200\nTimer3 = " + kWeekly + "\n");
    EXPECT_EQ(r.problems, (std::vector<std::string>{"Zeile 1: Timer3: ein Wochentag-Datensatz hat 27 Zeichen, dieser 2",
                                                    "Zeile 3: Timer3 steht schon in Zeile 1"}));
    EXPECT_FALSE(r.entries.any());
}

TEST(BackupFile, ProblemsAreCountedButOnlyTheFirstAreKept) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "Timer9 = \n";
    const BackupImport r = read_backup_import(text);
    EXPECT_EQ(r.problem_count, 1000u);
    EXPECT_EQ(r.problems.size(), kMaxListedProblems);
    EXPECT_EQ(r.problems.back().substr(0, 9), "Zeile 20:");
}

TEST(BackupFile, WhatIsWrittenIsReadBack) {
    Backup b;
    b.settings = "2214";
    b.records[1] = kWeekly;
    b.records[4] = kDated;
    const BackupImport r = read_backup_import(format_backup(b, LocalTime{2026, 12, 6, 4, 5, 6}));
    EXPECT_EQ(r.problem_count, 0u);
    EXPECT_EQ(r.entries.settings, std::optional<std::string>("2214"));
    for (int n = 0; n < kTimerCount; ++n) EXPECT_EQ(r.entries.timers[n], std::optional<std::string>(b.records[n]));
}

}  // namespace
// Every program's backup, the device's and the web page's, keeps out what
// could not be put back.
TEST(BackupFile, OnlyReadingsThatCanBePutBackGoIn) {
    const struct {
        TimerState state;
        std::string record;
        const char* problem;
    } cases[] = {
        {TimerState::Set, kWeekly, ""},
        {TimerState::Empty, "", ""},
        {TimerState::Failed, "", "Abfrage Speicher 3 fehlgeschlagen!"},
        {TimerState::Set, "W01010100050010063000250000",
         "Timer 3: unbrauchbarer Datensatz vom Gerät (W01010100050010063000250000)"},
    };
    for (const auto& c : cases) {
        TimerReading reading;
        reading.state = c.state;
        reading.record = c.record;
        EXPECT_EQ(backup_timer_problem(3, reading), c.problem) << c.record;
    }
}

}  // namespace zd::test
