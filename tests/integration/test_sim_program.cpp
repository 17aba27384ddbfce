// The b203sim program as a test harness starts it: a child process, the
// slave path on stdout, a symlink, log, dump and control FIFO.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "device/link.h"
#include "platform/clock.h"
#include "platform/posix/posix_serial_port.h"
#include "tests/integration/child_process.h"

namespace zd::sim {
namespace {

using std::chrono::milliseconds;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

using zd::test::Child;

Child spawn(const std::vector<std::string>& args) { return zd::test::spawn_program(B203SIM_PATH, args); }

// Everything the fd delivers until a line feed, end of file or the limit.
std::string read_line(int fd, int limit_ms) {
    std::string text;
    const auto t0 = std::chrono::steady_clock::now();
    for (;;) {
        const auto left = limit_ms - std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - t0)
                                         .count();
        if (left <= 0) return text;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return text;
        char c = 0;
        if (read(fd, &c, 1) != 1) return text;
        if (c == '\n') return text;
        text.push_back(c);
    }
}

// Exit status, or -1 when the child did not end in time (it is killed then).
int wait_exit(pid_t pid, int limit_ms) {
    for (int waited = 0; waited < limit_ms; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

bool wait_for_file(const std::string& path, int limit_ms) {
    for (int waited = 0; waited < limit_ms; waited += 10) {
        if (exists(path)) return true;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
}

struct ProgramTest : ::testing::Test {
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/b203sim-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        for (const char* name : {"state.txt", "dump.txt", "log.txt", "com1", "ctl"}) {
            ::unlink((dir + "/" + name).c_str());
        }
        ::rmdir(dir.c_str());
    }
};

TEST_F(ProgramTest, RunsWithLinkLogDumpAndControl) {
    {
        std::ofstream state(dir + "/state.txt");
        state << "# preset\ndate=311299\ntime=235958\nsettings=2014\nir=1\ntimer4=W01010101050011063000071500\n";
    }
    const std::string link_path = dir + "/com1";
    const std::string control = dir + "/ctl";
    const std::string dump = dir + "/dump.txt";
    const std::string log = dir + "/log.txt";
    Child child = spawn({"--state", dir + "/state.txt", "--link", link_path, "--log", log, "--dump", dump,
                         "--control", control, "--device", "3=05", "--ir", "0"});
    ASSERT_GT(child.pid, 0);
    const std::string slave = read_line(child.out, 5000);
    ASSERT_EQ(slave.compare(0, 9, "/dev/pts/"), 0) << slave;
    char target[256] = {};
    ASSERT_GT(readlink(link_path.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), slave);

    {
        auto port = open_posix_serial_port(link_path);
        ASSERT_TRUE(port);
        Clock& clock = sleeping_clock();
        DeviceLink link{port.get(), &clock};
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

    kill(child.pid, SIGUSR1);
    ASSERT_TRUE(wait_for_file(dump, 2000));
    EXPECT_NE(read_file(dump).find("settings=1000\n"), std::string::npos);
    ::unlink(dump.c_str());

    {
        std::ofstream ctl(control);
        ctl << "quit\n";
    }
    EXPECT_EQ(wait_exit(child.pid, 3000), 0);
    EXPECT_FALSE(exists(link_path));
    EXPECT_FALSE(exists(control));
    const std::string final_dump = read_file(dump);
    EXPECT_NE(final_dump.find("settings=1000\nir=0\ntimer1=E\ntimer2=E\ntimer3=E\n"
                              "timer4=W01010101050011063000071500\ntimer5=E\ndevice3=05\n"),
              std::string::npos)
        << final_dump;
    // The clock ran on from the preset, perhaps past midnight.
    EXPECT_TRUE(std::regex_search(final_dump, std::regex("^date=(311299|010100)\ntime=[0-9]{6}\n"))) << final_dump;

    const std::string text = read_file(log);
    EXPECT_NE(text.find(" RX \"0X\\r\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" TX \"305\\r\\n\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" EV \"control quit\"\n"), std::string::npos) << text;
    std::istringstream lines(text);
    std::string line;
    const std::regex form(R"(\d+\.\d{3} (RX|TX|EV) "([^"\\]|\\.)*")");
    while (std::getline(lines, line)) EXPECT_TRUE(std::regex_match(line, form)) << line;
    close(child.out);
    close(child.err);
}

TEST_F(ProgramTest, EndsCleanlyOnSigterm) {
    const std::string link_path = dir + "/com1";
    Child child = spawn({"--link", link_path, "--no-pacing"});
    ASSERT_GT(child.pid, 0);
    ASSERT_FALSE(read_line(child.out, 5000).empty());
    EXPECT_TRUE(exists(link_path));
    kill(child.pid, SIGTERM);
    EXPECT_EQ(wait_exit(child.pid, 3000), 0);
    EXPECT_FALSE(exists(link_path));
    close(child.out);
    close(child.err);
}

TEST_F(ProgramTest, BadOptionEndsWithUsageError) {
    Child child = spawn({"--timer", "7=E"});
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(read_line(child.err, 3000), "b203sim: --timer: invalid value \"7=E\"");
    EXPECT_EQ(wait_exit(child.pid, 3000), 2);
    close(child.out);
    close(child.err);
}

TEST_F(ProgramTest, HelpListsTheOptions) {
    Child child = spawn({"--help"});
    ASSERT_GT(child.pid, 0);
    std::string help;
    char buf[512];
    ssize_t n;
    while ((n = read(child.out, buf, sizeof buf)) > 0) help.append(buf, static_cast<std::size_t>(n));
    EXPECT_EQ(wait_exit(child.pid, 3000), 0);
    EXPECT_NE(help.find("--hangup-after"), std::string::npos);
    close(child.out);
    close(child.err);
}

}  // namespace
}  // namespace zd::sim
