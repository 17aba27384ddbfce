// The b203sim program as a test harness starts it: a child process, the
// slave path on stdout, a symlink, log, dump and control FIFO.
#include <signal.h>
#include <sys/stat.h>

#include <regex>

#include "device/link.h"
#include "platform/clock.h"
#include "platform/posix/posix_serial_port.h"
#include "tests/integration/program.h"

namespace zd::sim {
namespace {

using namespace zd::test;

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

struct ProgramTest : ::testing::Test {
    std::string dir;
    Program sim;
    void SetUp() override {
        dir = make_temp_dir("b203sim-test");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { remove_tree(dir); }
};

TEST_F(ProgramTest, RunsWithLinkLogDumpAndControl) {
    write_text(dir + "/state.txt",
               "# preset\ndate=311299\ntime=235958\nsettings=2014\nir=1\ntimer4=W01010101050011063000071500\n");
    const std::string link_path = dir + "/com1";
    const std::string control = dir + "/ctl";
    const std::string dump = dir + "/dump.txt";
    const std::string log = dir + "/log.txt";
    sim.start(B203SIM_PATH, {"--state", dir + "/state.txt", "--link", link_path, "--log", log, "--dump", dump,
                             "--control", control, "--device", "3=05", "--ir", "0"});
    const std::string slave = sim.first_line(seconds(5)).value_or("");
    ASSERT_EQ(slave.compare(0, 9, "/dev/pts/"), 0) << slave;
    char target[256] = {};
    ASSERT_GT(readlink(link_path.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), slave);

    {
        auto port = open_posix_serial_port(link_path);
        ASSERT_TRUE(port);
        DeviceLink link{port.get(), &sleeping_clock()};
        discard_input(link);
        write_command(link, "0X\r");
        const std::string status = read_reply_line(link, 4000);
        ASSERT_EQ(status.size(), 20u) << status;
        EXPECT_EQ(status.substr(3, 10), "3112992359");
        EXPECT_EQ(status.substr(15), "20140");  // --ir overrides the state file
        write_command(link, "3X\r");
        EXPECT_EQ(read_reply_line(link, 2000), "305");
        write_command(link, "0S1000\r");
        EXPECT_EQ(read_reply_line(link, 1000), "OK");
    }

    kill(sim.pid(), SIGUSR1);
    ASSERT_TRUE(eventually([&] { return exists(dump); }, seconds(2)));
    EXPECT_NE(read_text(dump).find("settings=1000\n"), std::string::npos);
    ::unlink(dump.c_str());

    write_text(control, "quit\n");
    EXPECT_EQ(sim.wait_exit(seconds(3)), 0);
    EXPECT_FALSE(exists(link_path));
    EXPECT_FALSE(exists(control));
    const std::string final_dump = read_text(dump);
    EXPECT_NE(final_dump.find("settings=1000\nir=0\ntimer1=E\ntimer2=E\ntimer3=E\n"
                              "timer4=W01010101050011063000071500\ntimer5=E\ndevice3=05\n"),
              std::string::npos)
        << final_dump;
    // The clock ran on from the preset, perhaps past midnight.
    EXPECT_TRUE(std::regex_search(final_dump, std::regex("^date=(311299|010100)\ntime=[0-9]{6}\n"))) << final_dump;

    const std::string text = read_text(log);
    EXPECT_NE(text.find(" RX \"0X\\r\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" TX \"305\\r\\n\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" EV \"control quit\"\n"), std::string::npos) << text;
    std::istringstream lines(text);
    std::string line;
    const std::regex form(R"(\d+\.\d{3} (RX|TX|EV) "([^"\\]|\\.)*")");
    while (std::getline(lines, line)) EXPECT_TRUE(std::regex_match(line, form)) << line;
}

TEST_F(ProgramTest, LogsAsJsonLines) {
    const std::string link_path = dir + "/com1";
    const std::string log = dir + "/log.json";
    sim.start(B203SIM_PATH, {"--link", link_path, "--log", log, "--log-format", "json", "--device", "3=05", "--extra",
                             "\\xe4\"", "--no-pacing"});
    ASSERT_TRUE(sim.first_line(seconds(5)));
    {
        auto port = open_posix_serial_port(link_path);
        ASSERT_TRUE(port);
        DeviceLink link{port.get(), &sleeping_clock()};
        write_command(link, "3X\r");
        EXPECT_EQ(read_reply_line(link, 2000), "305\xe4\"");
    }
    EXPECT_EQ(sim.stop(SIGTERM, seconds(3)), 0);
    // Every byte as the code point of its value, so a JSON parser keeps it.
    const std::string text = read_text(log);
    EXPECT_NE(text.find(R"(,"kind":"RX","bytes":"3X\r"})" "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(R"(,"kind":"TX","bytes":"305\u00e4\"\r\n"})" "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(R"(,"kind":"EV","bytes":"stop"})" "\n"), std::string::npos) << text;
    std::istringstream lines(text);
    std::string line;
    const std::regex form(R"re(\{"ms":\d+,"kind":"(RX|TX|EV)","bytes":"([\x20-\x21\x23-\x5b\x5d-\x7e]|\\[rnt"\\]|\\u00[0-9a-f]{2})*"\})re");
    while (std::getline(lines, line)) EXPECT_TRUE(std::regex_match(line, form)) << line;
}

TEST_F(ProgramTest, EndsCleanlyOnSigterm) {
    const std::string link_path = dir + "/com1";
    sim.start(B203SIM_PATH, {"--link", link_path, "--no-pacing"});
    ASSERT_FALSE(sim.first_line(seconds(5)).value_or("").empty());
    EXPECT_TRUE(exists(link_path));
    EXPECT_EQ(sim.stop(SIGTERM, seconds(3)), 0);
    EXPECT_FALSE(exists(link_path));
}

TEST_F(ProgramTest, BadOptionEndsWithUsageError) {
    sim.start(B203SIM_PATH, {"--timer", "7=E"});
    EXPECT_EQ(sim.wait_exit(seconds(3)), 2);
    EXPECT_EQ(sim.err(), "b203sim: --timer: invalid value \"7=E\"\n");
}

TEST_F(ProgramTest, HelpListsTheOptions) {
    sim.start(B203SIM_PATH, {"--help"});
    EXPECT_EQ(sim.wait_exit(seconds(3)), 0);
    EXPECT_NE(sim.out().find("--hangup-after"), std::string::npos);
    EXPECT_NE(sim.out().find("--log-format"), std::string::npos);
}

}  // namespace
}  // namespace zd::sim
