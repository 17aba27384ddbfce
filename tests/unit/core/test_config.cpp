#include <gtest/gtest.h>

#include "core/config.h"
#include "device/clock_math.h"

namespace zd::test {
namespace {

TEST(PreferencesReader, TextEntries) {
    struct Case {
        const char* file;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"Comport = COM2:\r\n", "Comport", "COM2:"},
        {"comport=COM2:\r\n", "Comport", "COM2:"},
        {"Comport : COM2:\r\n", "Comport", std::nullopt},
        {"   Comport = COM3:\r\n", "Comport", "COM3:"},
        {"\tComport = COM3:\r\n", "Comport", "COM3:"},  // blanks and tabs alike
        {"[Section]\r\nComport = COM3:\r\n", "Comport", std::nullopt},
        {" [Section]\r\nComport = COM3:\r\n", "Comport", "COM3:"},
        {"; Comport = COM4:\r\nComport = COM5:\r\n", "Comport", "COM5:"},
        {"  ;Comport = COM4:\n", "Comport", std::nullopt},
        {"Comport = A\r\nComport = B\r\n", "Comport", "A"},
        {"B203Modus = 1200  \r\n", "B203Modus", "1200  "},
        {"B203Modus =\r\n", "B203Modus", ""},
        {"Preset1 = x\r\nPresetname1 = Morgens\r\n", "Presetname1", "Morgens"},
        {"Presetname1 = Morgens\r\n", "Preset1", std::nullopt},
        {"Comport   =    COM7:", "Comport", "COM7:"},
        {"Comport = COM7:\nStation1 = WDR 2\n", "Station1", "WDR 2"},
        {"x = 1\r\n\r\n\r\nCOMPORT = c:\r\n", "Comport", "c:"},
        {"Comport = Hallo = Welt\r\n", "Comport", "Hallo = Welt"},
        {"", "Comport", std::nullopt},
        // A byte-order mark before the first line is no part of its key;
        // anywhere else it is.
        {"\xEF\xBB\xBF" "Comport = COM2:\r\n", "Comport", "COM2:"},
        {"\xEF\xBB\xBF", "Comport", std::nullopt},
        {"x = 1\r\n\xEF\xBB\xBF" "Comport = COM2:\r\n", "Comport", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(find_text_entry(c.file, c.key), c.value) << c.file;
}

TEST(PreferencesReader, ConfiguredPortWithoutBlanksAround) {
    struct Case {
        const char* file;
        std::optional<std::string> port;
    } cases[] = {
        {"Comport = /dev/ttyUSB0  \t\r\n", "/dev/ttyUSB0"},
        {"Comport = Com1:  \r\n", "Com1:"},
        {"\xEF\xBB\xBF" "Comport = /dev/ttyS1\r\nWinXPos = 3\r\n", "/dev/ttyS1"},
        {"Comport = /dev/serial/by-id/usb a b\r\n", "/dev/serial/by-id/usb a b"},
        {"Comport =  \t \r\n", std::nullopt},
        {"WinXPos = 3\r\n", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(configured_port(c.file), c.port) << c.file;
    // The tool keeps the entry as it stands, and writes it back so.
    EXPECT_EQ(parse_configuration("Comport = Com1:  \r\n").comport, "Com1:  ");
}

TEST(Configuration, ByteOrderMarkKeepsTheFirstKey) {
    const Config c = parse_configuration("\xEF\xBB\xBF" "Comport = Com3:\r\nWinXPos = 5\r\n");
    EXPECT_EQ(c.comport, "Com3:");
    EXPECT_EQ(c.win_x, 5);
    EXPECT_EQ(format_configuration(c, 5, 0).substr(0, 30), "Comport = Com3:\r\nWinXPos = 5\r\n");
}

TEST(PreferencesReader, UmlautKeysFoldCase) {
    // Letters from 0xE0 up fold onto 0xC0 up; the key comparison ignores case.
    EXPECT_EQ(find_text_entry("Station\xE4 = a\r\n", "STATION\xC4"), "a");
}

TEST(PreferencesReader, NumbersReadLikeAtoi) {
    struct Case {
        const char* line;
        int value;
    } cases[] = {{"WinXPos = -20", -20}, {"WinXPos = 12abc", 12}, {"WinXPos = abc", 0},
                 {"WinXPos = +7", 7},    {"WinXPos =", 0},       {"WinXPos = 99999999999", 2147483647}};
    for (const auto& c : cases) EXPECT_EQ(parse_configuration(c.line).win_x, c.value) << c.line;
}

TEST(Configuration, DefaultsForAnEmptyFile) {
    const Config c = parse_configuration("");
    EXPECT_EQ(c.comport, "Com1:");
    EXPECT_EQ(c.win_x, 0);
    EXPECT_EQ(c.win_y, 0);
    EXPECT_EQ(c.quick_mode, "1200");
    for (int n = 0; n < kPresetCount; ++n) {
        EXPECT_EQ(c.preset_names[n], std::to_string(n));
        EXPECT_EQ(c.presets[n], "");
    }
    for (const auto& s : c.stations) EXPECT_EQ(s, "");
}

TEST(Configuration, OnlyComportGiven) {
    const Config c = parse_configuration("Comport = COM2:\r\n");
    EXPECT_EQ(c.comport, "COM2:");
    EXPECT_EQ(c.quick_mode, "1200");
    EXPECT_EQ(c.preset_names[9], "9");
}

TEST(Configuration, SavedFileHas54LinesInOrder) {
    Config c;
    for (int n = 0; n < kPresetCount; ++n) c.preset_names[n] = std::to_string(n);
    const std::string text = format_configuration(c, 100, 80);
    std::string expected =
        "Comport = Com1:\r\nWinXPos = 100\r\nWinYPos = 80\r\nB203Modus = 1200\r\n";
    for (int n = 0; n < 10; ++n)
        expected += "Presetname" + std::to_string(n) + " = " + std::to_string(n) + "\r\nPreset" +
                    std::to_string(n) + " = \r\n";
    for (int n = 0; n < 30; ++n) expected += "Station" + std::to_string(n) + " = \r\n";
    EXPECT_EQ(text, expected);
    std::size_t lines = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) lines += text.compare(i, 2, "\r\n") == 0;
    EXPECT_EQ(lines, 54u);
}

TEST(Configuration, RoundTripKeepsEveryValue) {
    Config c;
    c.comport = "COM3:";
    c.quick_mode = "2104  ";
    c.preset_names[4] = "Wecker Montag";
    c.presets[4] = "W01000001000011063000071500";
    c.stations[29] = "Radio \xDC";
    const Config back = parse_configuration(format_configuration(c, -20, 5));
    EXPECT_EQ(back.comport, "COM3:");
    EXPECT_EQ(back.win_x, -20);
    EXPECT_EQ(back.win_y, 5);
    EXPECT_EQ(back.quick_mode, "2104  ");
    EXPECT_EQ(back.preset_names[4], "Wecker Montag");
    EXPECT_EQ(back.presets[4], c.presets[4]);
    EXPECT_EQ(back.stations[29], "Radio \xDC");
}

TEST(Configuration, WholeFileReadFollowsTheSingleLookups) {
    // The file is read in one walk; every key must come out as its own lookup finds it.
    const std::string text =
        "  ; Station1 = comment\r\nstation1 = first  \r\nSTATION1 = second\r\nStation01 = padded\n"
        "PRESETNAME3=Abend\rx\r\n\tPreset3 = tab\nPreset3 = 0C03\r\nWinYPos = -12px\r\n"
        "Comport\r = no\r\nStation10 = \xE4\r\n Comport = COM4:\n[Rest]\r\nB203Modus = 0000\r\n";
    const Config c = parse_configuration(text);
    const auto text_of = [&](const std::string& key, const std::string& fallback) {
        return find_text_entry(text, key).value_or(fallback);
    };
    EXPECT_EQ(c.comport, text_of("Comport", "Com1:"));
    EXPECT_EQ(c.comport, "COM4:");
    EXPECT_EQ(c.win_x, 0);
    EXPECT_EQ(c.win_y, -12);
    EXPECT_EQ(c.quick_mode, "1200");
    for (int n = 0; n < kPresetCount; ++n) {
        EXPECT_EQ(c.preset_names[n], text_of("Presetname" + std::to_string(n), std::to_string(n))) << n;
        EXPECT_EQ(c.presets[n], text_of("Preset" + std::to_string(n), "")) << n;
    }
    for (int n = 0; n < kStationCount; ++n)
        EXPECT_EQ(c.stations[n], text_of("Station" + std::to_string(n), "")) << n;
    EXPECT_EQ(c.stations[1], "first  ");
    EXPECT_EQ(c.stations[10], "\xE4");
    EXPECT_EQ(c.preset_names[3], "Abend");
    EXPECT_EQ(c.presets[3], "tab");  // "\tPreset3" is Preset3, blanks and tabs alike
}

TEST(Configuration, DuplicateKeyIsWrittenOnce) {
    const Config c = parse_configuration("WinXPos = 5\r\nWinXPos = 9\r\n");
    const std::string text = format_configuration(c, c.win_x, c.win_y);
    EXPECT_EQ(text.find("WinXPos"), text.rfind("WinXPos"));
    EXPECT_NE(text.find("WinXPos = 5\r\n"), std::string::npos);
}

TEST(Configuration, TodaysDate) {
    EXPECT_EQ(date_ddmmyy(31, 3, 2006), "310306");
    EXPECT_EQ(date_ddmmyy(1, 12, 2099), "011299");
    EXPECT_EQ(date_ddmmyy(8, 12, 2026), "081226");
}

}  // namespace
}  // namespace zd::test
