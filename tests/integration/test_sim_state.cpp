#include <gtest/gtest.h>

#include "sim/escape.h"
#include "sim/reply_shaper.h"
#include "sim/state_file.h"

namespace zd::sim {
namespace {

const std::string kWeek = "W01010101050011063000071500";

TEST(StateFileTest, ParsesEveryKey) {
    Preset p;
    std::string error;
    ASSERT_TRUE(parse_state_text("# preset\r\ndate=150407\ntime=183045\n\nsettings=2114\nir=1\ntimer2=" + kWeek +
                                     "\ntimer5=E\ndevice3=05\ndevice9=AB",
                                 p, error))
        << error;
    EXPECT_EQ(p.date.value_or(""), "150407");
    EXPECT_EQ(p.time.value_or(""), "183045");
    EXPECT_EQ(p.settings.value_or(""), "2114");
    EXPECT_EQ(p.ir.value_or(""), "1");
    EXPECT_EQ(p.timers[1].value_or(""), kWeek);
    EXPECT_EQ(p.timers[4].value_or(""), "E");
    EXPECT_FALSE(p.timers[0]);
    EXPECT_EQ(p.devices[3].value_or(""), "05");
    EXPECT_EQ(p.devices[9].value_or(""), "AB");
}

TEST(StateFileTest, RejectsBadLinesWithTheirNumber) {
    struct Row {
        const char* text;
        const char* error;
    };
    const Row table[] = {
        {"date=150407\nfoo=1\n", "line 2: unknown key \"foo\""},
        {"date=300207\n", "line 1: invalid value for date: \"300207\""},
        {"time=246000\n", "line 1: invalid value for time: \"246000\""},
        {"settings=3000\n", "line 1: invalid value for settings: \"3000\""},
        {"ir=2\n", "line 1: invalid value for ir: \"2\""},
        {"timer1=W0\n", "line 1: invalid value for timer1: \"W0\""},
        {"timer6=E\n", "line 1: unknown key \"timer6\""},
        {"device0=05\n", "line 1: unknown key \"device0\""},
        {"device1=5\n", "line 1: invalid value for device1: \"5\""},
        {"\n\ndate\n", "line 3: missing \"=\""},
    };
    for (const auto& row : table) {
        Preset p;
        std::string error;
        EXPECT_FALSE(parse_state_text(row.text, p, error)) << row.text;
        EXPECT_EQ(error, row.error);
    }
}

TEST(StateFileTest, DumpReadsBackToTheSameState) {
    ManualTimeSource time;
    Model model{time};
    model.set_date("311299");
    model.set_time("235959");
    model.set_settings("2014");
    model.set_ir("1");
    model.set_timer(1, kWeek);
    model.set_timer(4, "D2403060121000200000213000");
    model.set_device(2, "07");
    const std::string dump = format_state(model.snapshot());
    EXPECT_EQ(dump, "date=311299\ntime=235959\nsettings=2014\nir=1\ntimer1=" + kWeek +
                        "\ntimer2=E\ntimer3=E\ntimer4=D2403060121000200000213000\ntimer5=E\ndevice2=07\n");

    Preset p;
    std::string error;
    ASSERT_TRUE(parse_state_text(dump, p, error)) << error;
    ManualTimeSource other_time;
    Model copy{other_time};
    apply_preset(copy, p);
    EXPECT_EQ(format_state(copy.snapshot()), dump);
}

TEST(StateFileTest, LaterPresetOverridesEarlier) {
    Preset base, later;
    std::string error;
    ASSERT_TRUE(parse_state_text("date=010203\nsettings=1000\ntimer1=E\n", base, error));
    ASSERT_TRUE(parse_state_text("settings=2000\ntimer1=" + kWeek + "\n", later, error));
    merge_preset(base, later);
    EXPECT_EQ(base.date.value_or(""), "010203");
    EXPECT_EQ(base.settings.value_or(""), "2000");
    EXPECT_EQ(base.timers[0].value_or(""), kWeek);
}

TEST(StateFileTest, PresetTimeKeepsPresetDate) {
    Preset p;
    std::string error;
    ASSERT_TRUE(parse_state_text("time=235959\ndate=311299\n", p, error));
    ManualTimeSource time;
    Model model{time};
    apply_preset(model, p);
    EXPECT_EQ(model.date(), "311299");
    EXPECT_EQ(model.time(), "235959");
}

TEST(EscapeTest, EscapesControlAndHighBytes) {
    EXPECT_EQ(escape_bytes("0X\r"), "0X\\r");
    EXPECT_EQ(escape_bytes("\x07\r\n"), "\\x07\\r\\n");
    EXPECT_EQ(escape_bytes(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(escape_bytes("\"\\\t\xe4\x7f"), "\\\"\\\\\\t\\xe4\\x7f");
}

TEST(EscapeTest, UnescapeIsTheInverse) {
    std::string bytes;
    ASSERT_TRUE(unescape_text("A\\r\\n\\x07\\x13z\\\\\\\"\\t", bytes));
    EXPECT_EQ(bytes, "A\r\n\x07\x13z\\\"\t");
    EXPECT_EQ(escape_bytes(bytes), "A\\r\\n\\x07\\x13z\\\\\\\"\\t");
    for (const char* broken : {"\\", "\\x1", "\\xg0", "\\q"}) {
        EXPECT_FALSE(unescape_text(broken, bytes)) << broken;
    }
}

TEST(ReplyShaperTest, PlainReplyAfterTheTurnaround) {
    ReplyShaper shaper{FaultOptions{}};
    const auto t = shaper.shape(0, "OK");
    ASSERT_TRUE(t);
    ASSERT_EQ(t->segments.size(), 1u);
    EXPECT_EQ(t->segments[0].delay_ms, 20);
    EXPECT_EQ(t->segments[0].bytes, "OK\r\n");
    EXPECT_FALSE(t->hangup);
}

TEST(ReplyShaperTest, StrayExtraAndLate) {
    FaultOptions o;
    o.stray = "~~";
    o.extra = "Z";
    o.turnaround_ms = 5;
    o.late_ms = 300;
    ReplyShaper shaper{o};
    const auto t = shaper.shape(0, "0C011E");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->bytes(), "~~0C011EZ\r\n");
    EXPECT_EQ(t->segments[0].delay_ms, 305);
}

TEST(ReplyShaperTest, BurstsWithGaps) {
    FaultOptions o;
    o.burst_gap_ms = 150;
    o.burst_size = 3;
    ReplyShaper shaper{o};
    const auto t = shaper.shape(0, "ABCDEFG");
    ASSERT_TRUE(t);
    ASSERT_EQ(t->segments.size(), 3u);
    EXPECT_EQ(t->segments[0].bytes, "ABC");
    EXPECT_EQ(t->segments[0].delay_ms, 20);
    EXPECT_EQ(t->segments[1].bytes, "DEF");
    EXPECT_EQ(t->segments[1].delay_ms, 150);
    EXPECT_EQ(t->segments[2].bytes, "G\r\n");
}

TEST(ReplyShaperTest, SilenceForAllOrSomeAddresses) {
    FaultOptions o;
    o.silent_addresses[3] = true;
    ReplyShaper some{o};
    EXPECT_FALSE(some.shape(3, "305"));
    EXPECT_TRUE(some.shape(0, "OK"));
    o.silent = true;
    ReplyShaper all{o};
    EXPECT_FALSE(all.shape(0, "OK"));
    EXPECT_EQ(all.replies(), 0);
}

TEST(ReplyShaperTest, GarbageNeverCarriesFramingBytes) {
    FaultOptions o;
    o.garbage = true;
    ReplyShaper shaper{o};
    for (int i = 0; i < 200; ++i) {
        const auto t = shaper.shape(0, "0X:15040718304512000");
        ASSERT_TRUE(t);
        const std::string bytes = t->bytes();
        ASSERT_GE(bytes.size(), 3u);
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
        const std::string body = bytes.substr(0, bytes.size() - 2);
        EXPECT_NE(body, "0X:15040718304512000");
        EXPECT_EQ(body.find_first_of(std::string("\r\n\x11\x13\0", 5)), std::string::npos) << body;
    }
}

TEST(ReplyShaperTest, LineDropsInTheMiddleOfTheNthReply) {
    FaultOptions o;
    o.hangup_after = 2;
    ReplyShaper shaper{o};
    const auto first = shaper.shape(0, "OK");
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->hangup);
    const auto second = shaper.shape(0, "0X:15040718304512000");
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->hangup);
    EXPECT_EQ(second->bytes(), "0X:15040718");
    EXPECT_FALSE(shaper.shape(0, "OK"));
}

}  // namespace
}  // namespace zd::sim
