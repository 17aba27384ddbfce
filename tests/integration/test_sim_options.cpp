#include <gtest/gtest.h>

#include "sim/options.h"

namespace zd::sim {
namespace {

bool parse(const std::vector<std::string>& args, SimConfig& c, std::string& error) {
    return parse_options(args, c, error);
}

TEST(OptionsTest, DefaultsWithoutArguments) {
    SimConfig c;
    std::string error;
    ASSERT_TRUE(parse({}, c, error));
    EXPECT_TRUE(c.pacing);
    EXPECT_EQ(c.model.ack, "OK");
    EXPECT_FALSE(c.model.refuse_writes);
    EXPECT_EQ(c.faults.turnaround_ms, 20);
    EXPECT_EQ(c.faults.burst_size, 4);
    EXPECT_FALSE(c.faults.silent);
    EXPECT_FALSE(c.help);
}

TEST(OptionsTest, EveryOptionIsTaken) {
    SimConfig c;
    std::string error;
    ASSERT_TRUE(parse({"--device", "3=05", "--device=9=AB", "--time", "183045", "--date", "150407", "--settings",
                       "2114", "--ir", "1", "--timer", "2=W01010101050011063000071500", "--timer", "5=E",
                       "--state", "s.txt", "--dump", "d.txt", "--log", "-", "--log-format", "json", "--control", "ctl", "--link", "com1",
                       "--turnaround", "5", "--late", "700", "--burst-gap", "90", "--burst-size", "2", "--stray",
                       "\\x07x", "--extra", "Z", "--silent-address", "4", "--silent-address", "0",
                       "--hangup-after", "3", "--ack", "ACK", "--no-pacing", "--silent", "--garbage",
                       "--refuse-writes"},
                      c, error))
        << error;
    EXPECT_EQ(c.preset.devices[3].value_or(""), "05");
    EXPECT_EQ(c.preset.devices[9].value_or(""), "AB");
    EXPECT_EQ(c.preset.time.value_or(""), "183045");
    EXPECT_EQ(c.preset.date.value_or(""), "150407");
    EXPECT_EQ(c.preset.settings.value_or(""), "2114");
    EXPECT_EQ(c.preset.ir.value_or(""), "1");
    EXPECT_EQ(c.preset.timers[1].value_or(""), "W01010101050011063000071500");
    EXPECT_EQ(c.preset.timers[4].value_or(""), "E");
    EXPECT_EQ(c.state_path, "s.txt");
    EXPECT_EQ(c.dump_path, "d.txt");
    EXPECT_EQ(c.log_path, "-");
    EXPECT_TRUE(c.log_json);
    EXPECT_EQ(c.control_path, "ctl");
    EXPECT_EQ(c.link_path, "com1");
    EXPECT_EQ(c.faults.turnaround_ms, 5);
    EXPECT_EQ(c.faults.late_ms, 700);
    EXPECT_EQ(c.faults.burst_gap_ms, 90);
    EXPECT_EQ(c.faults.burst_size, 2);
    EXPECT_EQ(c.faults.stray, "\x07x");
    EXPECT_EQ(c.faults.extra, "Z");
    EXPECT_TRUE(c.faults.silent_addresses[4]);
    EXPECT_TRUE(c.faults.silent_addresses[0]);
    EXPECT_FALSE(c.faults.silent_addresses[1]);
    EXPECT_EQ(c.faults.hangup_after, 3);
    EXPECT_EQ(c.model.ack, "ACK");
    EXPECT_FALSE(c.pacing);
    EXPECT_TRUE(c.faults.silent);
    EXPECT_TRUE(c.faults.garbage);
    EXPECT_TRUE(c.model.refuse_writes);
}

TEST(OptionsTest, NoAckClearsTheAcknowledgement) {
    SimConfig c;
    std::string error;
    ASSERT_TRUE(parse({"--no-ack"}, c, error));
    EXPECT_EQ(c.model.ack, "");
}

TEST(OptionsTest, BadArgumentsAreReported) {
    struct Row {
        std::vector<std::string> args;
        const char* error;
    };
    const Row table[] = {
        {{"--bogus"}, "unknown option \"--bogus\" (see --help)"},
        {{"--time"}, "--time needs a value"},
        {{"--time", "250000"}, "--time: invalid value for time: \"250000\""},
        {{"--date", "320107"}, "--date: invalid value for date: \"320107\""},
        {{"--settings", "9999"}, "--settings: invalid value for settings: \"9999\""},
        {{"--ir", "on"}, "--ir: invalid value for ir: \"on\""},
        {{"--timer", "6=E"}, "--timer: invalid value \"6=E\""},
        {{"--timer", "1=W"}, "--timer: invalid value for timer1: \"W\""},
        {{"--device", "0=05"}, "--device: invalid value \"0=05\""},
        {{"--device", "3=5"}, "--device: invalid value for device3: \"5\""},
        {{"--turnaround", "-1"}, "--turnaround: invalid value \"-1\""},
        {{"--burst-size", "0"}, "--burst-size: invalid value \"0\""},
        {{"--hangup-after", "0"}, "--hangup-after: invalid value \"0\""},
        {{"--silent-address", "10"}, "--silent-address: invalid value \"10\""},
        {{"--stray", "\\x"}, "--stray: invalid value \"\\x\""},
        {{"--ack", "A\\rB"}, "--ack: invalid value \"A\\rB\""},
        {{"--log-format", "xml"}, "--log-format: invalid value \"xml\""},
        {{"--silent=1"}, "--silent takes no value"},
    };
    for (const auto& row : table) {
        SimConfig c;
        std::string error;
        EXPECT_FALSE(parse(row.args, c, error)) << row.args[0];
        EXPECT_EQ(error, row.error);
    }
}

TEST(OptionsTest, HelpDocumentsEveryOption) {
    SimConfig c;
    std::string error;
    ASSERT_TRUE(parse({"--help"}, c, error));
    EXPECT_TRUE(c.help);
    const std::string help = help_text();
    for (const char* option :
         {"--device", "--time", "--date", "--settings", "--ir", "--timer", "--state", "--dump", "--log",
          "--log-format", "--control", "--link", "--turnaround", "--late", "--burst-gap", "--burst-size", "--stray", "--extra",
          "--silent-address", "--hangup-after", "--ack", "--no-ack", "--no-pacing", "--silent ", "--garbage",
          "--refuse-writes", "--help"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST(OptionsTest, StateFileUnderOptions) {
    SimConfig c;
    std::string error;
    ASSERT_TRUE(parse({"--settings", "2000"}, c, error));
    Preset p;
    EXPECT_TRUE(initial_preset(c, p, error));
    EXPECT_EQ(p.settings.value_or(""), "2000");
    c.state_path = "/nonexistent/state.txt";
    EXPECT_FALSE(initial_preset(c, p, error));
    EXPECT_EQ(error, "cannot read state file /nonexistent/state.txt");
}

}  // namespace
}  // namespace zd::sim
