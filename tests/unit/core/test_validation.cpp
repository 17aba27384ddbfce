#include <gtest/gtest.h>

#include <regex>

#include "core/validation.h"

namespace zd::test {
namespace {

// An input and what is wrong with it; "" when nothing is.
struct Problem {
    std::string input;
    std::string problem;
};

TEST(Validation, StatusRecordsNeedARealDateAndTime) {
    const Problem cases[] = {
        {"0X:15040718304512000", ""},
        {"0X:29022400000012000", ""},
        {"0X:31129923595912000", ""},
        {"", "Abfrage Gerätestatus fehlgeschlagen (0)"},
        {"0X:1504071830451200", "Abfrage Gerätestatus fehlgeschlagen (19)"},
        {"0X:150407183045120000", "Abfrage Gerätestatus fehlgeschlagen (21)"},
        {"0X:32132699999912000", "Abfrage Gerätestatus fehlgeschlagen: ungültiges Datum \"321326\", "
                                 "ungültige Uhrzeit \"999999\""},
        {"0X:29022300000012000", "Abfrage Gerätestatus fehlgeschlagen: ungültiges Datum \"290223\""},
        {"0X:00012612000012000", "Abfrage Gerätestatus fehlgeschlagen: ungültiges Datum \"000126\""},
        {"0X:15040724000012000", "Abfrage Gerätestatus fehlgeschlagen: ungültige Uhrzeit \"240000\""},
        {"0X:15040712ZZZZ12000", "Abfrage Gerätestatus fehlgeschlagen: ungültige Uhrzeit \"12ZZZZ\""},
        {"0X:150407 1200012000", "Abfrage Gerätestatus fehlgeschlagen: ungültige Uhrzeit \" 12000\""},
        {std::string("0X:1504071\x1B") + "000012000",
         "Abfrage Gerätestatus fehlgeschlagen: ungültige Uhrzeit \"1<0x1B>0000\""},
    };
    for (const auto& c : cases) EXPECT_EQ(status_record_problem(c.input), c.problem) << c.input;
}

TEST(Validation, FreeCommandLinesNameTheControlCharacter) {
    const Problem cases[] = {
        {"0X", ""},
        {"3X", ""},
        {"0 X ~", ""},
        {"0\xC4\xFF", ""},
        {"0", "Eine Befehlszeile hat mindestens 2 Zeichen und beginnt mit der Geräteadresse (0-9)"},
        {"", "Eine Befehlszeile hat mindestens 2 Zeichen und beginnt mit der Geräteadresse (0-9)"},
        {"X0", "Eine Befehlszeile hat mindestens 2 Zeichen und beginnt mit der Geräteadresse (0-9)"},
        {"\x13" "0X", "Eine Befehlszeile hat mindestens 2 Zeichen und beginnt mit der Geräteadresse (0-9)"},
        {"0X\x13", "Steuerzeichen 0x13 (XOFF) an Stelle 3"},
        {"0\x11X", "Steuerzeichen 0x11 (XON) an Stelle 2"},
        {"0X\r1X", "Steuerzeichen 0x0D (CR) an Stelle 3"},
        {"0X\n", "Steuerzeichen 0x0A (LF) an Stelle 3"},
        {std::string("0X\0", 3), "Steuerzeichen 0x00 (NUL) an Stelle 3"},
        {"0X\t", "Steuerzeichen 0x09 (TAB) an Stelle 3"},
        {"0X\x1B[2J", "Steuerzeichen 0x1B (ESC) an Stelle 3"},
        {"0X\x1F", "Steuerzeichen 0x1F (US) an Stelle 3"},
        {"0X\x7F", "Steuerzeichen 0x7F (DEL) an Stelle 3"},
        {"0X\x07\x13", "Steuerzeichen 0x07 (BEL) an Stelle 3"},
        {"0" + std::string(254, 'X'), ""},
        {"0" + std::string(255, 'X'), "Befehlszeile zu lang (256 Zeichen, höchstens 255)"},
    };
    for (const auto& c : cases) EXPECT_EQ(free_command_problem(c.input), c.problem) << c.input;
}

TEST(Validation, SettingsSayWhichDigit) {
    const Problem cases[] = {
        {"1200", ""},
        {"2214", ""},
        {"0000", ""},
        {"3000", "Sprache \"3\" gibt es nicht (0-2)"},
        {"0300", "Easy-Funktion \"3\" gibt es nicht (0-2)"},
        {"0020", "Timer \"2\" gibt es nicht (0-1)"},
        {"0005", "Einschaltbed. \"5\" gibt es nicht (0-4)"},
        {"12a0", "Timer \"a\" gibt es nicht (0-1)"},
        {"120", "vier Ziffern erwartet (Sprache 0-2, Easy-Funktion 0-2, Timer 0-1, Einschaltbed. 0-4), gelesen \"120\""},
        {"", "vier Ziffern erwartet (Sprache 0-2, Easy-Funktion 0-2, Timer 0-1, Einschaltbed. 0-4), gelesen \"\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(settings_problem(c.input), c.problem) << c.input;
        EXPECT_EQ(is_valid_settings_string(c.input), c.problem.empty()) << c.input;
    }
}

TEST(Validation, RecordsAsTheEditorComposesThem) {
    const std::string good = "W01010100050010063000071500";
    auto spoilt = [&](std::size_t pos, const std::string& with) {
        return good.substr(0, pos - 1) + with + good.substr(pos - 1 + with.size());
    };
    const Problem cases[] = {
        {good, ""},
        {"D2403260121000200000213000", ""},
        {"D290224" "0" "00" "0000" "235900" "235900", ""},
        {"", "leer"},
        {"X2403060121000200000213000", "beginnt weder mit W (Wochentage) noch mit D (Datum)"},
        {good.substr(1), "beginnt weder mit W (Wochentage) noch mit D (Datum)"},
        {good.substr(0, 26), "ein Wochentag-Datensatz hat 27 Zeichen, dieser 26"},
        {good + "0", "ein Wochentag-Datensatz hat 27 Zeichen, dieser 28"},
        {"D24032601210002000002130000", "ein Datums-Datensatz hat 26 Zeichen, dieser 27"},
        {spoilt(2, "2"), "Tag So an Stelle 2 ist weder 0 noch 1"},
        {spoilt(8, " "), "Tag Sa an Stelle 8 ist weder 0 noch 1"},
        {"D3002260121000200000213000", "Datum \"300226\" gibt es nicht"},
        {"D2902250121000200000213000", "Datum \"290225\" gibt es nicht"},
        {"D2902000121000200000213000", ""},
        {"D3104260121000200000213000", "Datum \"310426\" gibt es nicht"},
        {"D3112990121000200000213000", ""},
        {"D0013260121000200000213000", "Datum \"001326\" gibt es nicht"},
        {spoilt(9, "5"), "Quelle \"5\" gibt es nicht (0-4)"},
        {"D240326" "6" "12" "1000" "200000" "213000", "Quelle \"6\" gibt es nicht (0-4)"},
        {spoilt(10, "30"), "Station \"30\" gibt es nicht (00-29)"},
        {spoilt(10, "0x"), "Station \"0x\" gibt es nicht (00-29)"},
        {spoilt(12, "2"), "Ziel Tape1 an Stelle 12 ist weder 0 noch 1"},
        {spoilt(15, "\t"), "Ziel LS-B an Stelle 15 ist weder 0 noch 1"},
        {spoilt(16, "24"), "Startzeit \"24:30\" gibt es nicht"},
        {spoilt(18, "60"), "Startzeit \"06:60\" gibt es nicht"},
        {spoilt(20, "30"), "Sekunden der Startzeit müssen 00 sein"},
        {spoilt(20, "60"), "Sekunden der Startzeit müssen 00 sein"},
        {spoilt(22, "2"), "Endzeit \"27:15\" gibt es nicht"},
        {spoilt(26, "01"), "Sekunden der Endzeit müssen 00 sein"},
        {"D2403260121000200000213001", "Sekunden der Endzeit müssen 00 sein"},
    };
    // The pattern form fields check with says the same of every record.
    const std::regex pattern(kRecordPattern);
    for (const auto& c : cases) {
        EXPECT_EQ(record_problem(c.input), c.problem) << c.input;
        EXPECT_EQ(is_composable_record(c.input), c.problem.empty()) << c.input;
        EXPECT_EQ(std::regex_match(c.input, pattern), c.problem.empty()) << c.input;
    }
}

TEST(Validation, TextsFromOutsideAreShownTamed) {
    EXPECT_EQ(shown_text("abc"), "abc");
    EXPECT_EQ(shown_text("a\x1B[31mb\x7F"), "a<0x1B>[31mb<0x7F>");
    EXPECT_EQ(shown_text(std::string(50, 'x')), std::string(40, 'x') + "...");
    EXPECT_EQ(shown_text("abcd", 4), "abcd");
    EXPECT_EQ(shown_text("abcde", 4), "abcd...");
    EXPECT_EQ(shown_byte('A'), "A");
    EXPECT_EQ(shown_byte('\x13'), "0x13 (XOFF)");
}

}  // namespace
}  // namespace zd::test
