// zendrill-cli as a scheduler runs it: a child process on the simulator's
// pty, its exit status, stdout and stderr, and the traffic the device saw.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "sim/sim_server.h"
#include "tests/integration/child_process.h"
#include "tests/integration/sim_fixture.h"

namespace zd::sim {
namespace {

using Clock = std::chrono::steady_clock;

struct CliRun {
    int status = -1;
    std::string out, err;
    long long ms = 0;
};

using zd::test::Child;

Child start_cli(const std::vector<std::string>& args, const std::string& cwd, const char* port_variable = nullptr) {
    return zd::test::spawn_program(ZENDRILL_CLI_PATH, args, [&] {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        if (port_variable)
            setenv("ZENDRILL_PORT", port_variable, 1);
        else
            unsetenv("ZENDRILL_PORT");
    });
}

CliRun finish(Child& c, int limit_ms = 60000) {
    CliRun r;
    pollfd fds[2] = {{c.out, POLLIN, 0}, {c.err, POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, limit_ms) <= 0) break;
        for (auto& f : fds) {
            if (f.fd < 0 || !(f.revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = read(f.fd, buf, sizeof buf);
            if (n <= 0) {
                close(f.fd);
                f.fd = -1;
                --open;
            } else {
                (f.fd == c.out ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    if (open > 0) kill(c.pid, SIGKILL);
    waitpid(c.pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - c.start).count();
    return r;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// The simulator's traffic log on a pipe, read as it is written: a test
// waits for the line that proves the device got a command.
struct LogPipe {
    int fds[2] = {-1, -1};
    std::string seen;
    LogPipe() { EXPECT_EQ(pipe(fds), 0); }
    ~LogPipe() {
        for (int fd : fds)
            if (fd >= 0) close(fd);
    }
    std::string path() const { return "/dev/fd/" + std::to_string(fds[1]); }
    // Reads until `text` has appeared after what earlier waits consumed.
    bool wait_for(const std::string& text, int limit_ms = 20000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
        for (;;) {
            const std::size_t at = seen.find(text);
            if (at != std::string::npos) {
                seen.erase(0, at + text.size());
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd p{fds[0], POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return false;
            char buf[4096];
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) return false;
            seen.append(buf, static_cast<std::size_t>(n));
        }
    }
};

struct CliProgramTest : ::testing::Test {
    std::unique_ptr<SimServer> server;
    std::string dir;
    std::unique_ptr<LogPipe> log;  // outlives the simulator, which logs until it stops

    static SimConfig config() {
        SimConfig c = SimFixture::base_config();
        c.preset.timers[1] = "W01010100050010063000071500";  // timer 2
        c.preset.timers[2] = "D2403260121000200000213000";
        return c;
    }
    void start(const SimConfig& c) {
        server = std::make_unique<SimServer>(c);
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
    }
    void SetUp() override {
        char tmpl[] = "/tmp/zendrill-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        if (server) server->stop();
        std::system(("rm -rf " + dir).c_str());
    }
    CliRun cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", server->slave_path()});
        Child c = start_cli(args, dir);
        return finish(c);
    }
    std::vector<std::string> received() { return server->received_lines(); }
};

TEST_F(CliProgramTest, StatusTextAndJson) {
    start(config());
    CliRun r = cli({"status"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string head = u8"B203 Gerätestatus:\n\n\nDatum        : 15.04.2007\n\nZeit         : 18:3";
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    EXPECT_NE(r.out.find(u8"\n\nIR-Empfänger : ein\n"), std::string::npos);
    r = cli({"status", "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"date\": \"2007-04-15\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(u8"\"easy_function\": \"aus\""), std::string::npos);
    EXPECT_EQ(received(), (std::vector<std::string>{"0X", "0X"}));
}

TEST_F(CliProgramTest, SilentDevice) {
    SimConfig c = config();
    c.faults.silent = true;
    start(c);
    CliRun r = cli({"status"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, u8"Abfrage Gerätestatus fehlgeschlagen (0)\n");
    r = cli({"send", "0X"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, u8"Rückmeldung: keine oder Timeout\n");
}

TEST_F(CliProgramTest, TimersListAndJson) {
    start(config());
    CliRun r = cli({"timers", "list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Timer 1 ist leer!\n\n\n\n\n"
              "NR.2  Tage: Mo Mi Fr   Zeit: 06:30 - 07:15 Uhr\n\n      Quelle: Tuner 05   Ziel: LS-A \n\n\n"
              "NR.3  Datum: 24.03.2026   Zeit: 20:00 - 21:30 Uhr\n\n      Quelle: Tuner 12   Ziel: Tape1 \n\n\n"
              "Timer 4 ist leer!\n\n\n\n\nTimer 5 ist leer!\n\n\n\n\n");
    r = cli({"timers", "list", "--json"});
    EXPECT_NE(r.out.find("\"kind\": \"date\",\n    \"days\": [],\n    \"date\": \"2026-03-24\""), std::string::npos)
        << r.out;
}

TEST_F(CliProgramTest, ExportThenImportPutsTheTimersBack) {
    start(config());
    const std::string file = dir + "/b203.ini";
    CliRun r = cli({"timers", "export", file});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string backup = read_file(file);
    EXPECT_EQ(backup.substr(backup.find("\r\n") + 2),
              "B203Modus = 1200\r\nTimer1 = \r\nTimer2 = W01010100050010063000071500\r\n"
              "Timer3 = D2403260121000200000213000\r\nTimer4 = \r\nTimer5 = \r\n");
    EXPECT_EQ(backup.rfind("; B203 Sicherung vom ", 0), 0u);

    // The device loses its memory; the backup brings it back.
    server->with_model([](Model& m) {
        m.set_timer(2, "E");
        m.set_timer(3, "W11111110050010063000071500");
        m.set_timer(5, "W00000010050010063000071500");
        return m.set_settings("0000");
    });
    r = cli({"timers", "import", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, u8"Einstellung gesendet (0S1200)\nTimer 1: gelöscht\nTimer 2: geschrieben\n"
                     u8"Timer 3: geschrieben\nTimer 4: gelöscht\nTimer 5: gelöscht\n");
    server->with_model([](Model& m) {
        EXPECT_EQ(m.settings(), "1200");
        EXPECT_EQ(m.timer(2), "W01010100050010063000071500");
        EXPECT_EQ(m.timer(3), "D2403260121000200000213000");
        EXPECT_EQ(m.timer(5), "");
        return 0;
    });
}

TEST_F(CliProgramTest, ExportThatFailsHalfWayLeavesTheFileUntouched) {
    SimConfig c = config();
    c.faults.hangup_after = 3;  // the line drops in the middle of timer 2's reply
    start(c);
    const std::string file = dir + "/b203.ini";
    write_file(file, "old backup\r\n");
    CliRun r = cli({"timers", "export", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Abfrage Speicher 2 fehlgeschlagen!\nKeine Sicherung geschrieben\n");
    EXPECT_EQ(read_file(file), "old backup\r\n");
    EXPECT_EQ(access((file + ".tmp").c_str(), F_OK), -1);
}

TEST_F(CliProgramTest, ImportWithOneBadEntrySendsNothing) {
    start(config());
    const std::string file = dir + "/in.ini";
    write_file(file, "B203Modus = 1200\r\nTimer1 = W01010100050010063000071500\r\nTimer4 = W0101010005001006300007150\r\n");
    CliRun r = cli({"timers", "import", file});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Zeile 3: Timer4: ein Wochentag-Datensatz hat 27 Zeichen, dieser 26\n" + file +
                         ": 1 fehlerhafte Zeile; nichts gesendet\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(received().empty());
}

TEST_F(CliProgramTest, RefusedWritesAreReported) {
    SimConfig c = config();
    c.model.refuse_writes = true;
    start(c);
    const std::string file = dir + "/in.ini";
    write_file(file, "Timer1 = W01010100050010063000071500\r\n");
    CliRun r = cli({"timers", "import", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Timer 1: Die Daten wurden vom Controller mit einer Fehlermeldung quittiert !\n");
    EXPECT_EQ(received(), std::vector<std::string>{"0E01W01010100050010063000071500"});
}

TEST_F(CliProgramTest, ClockSyncAgreesWithThePcClock) {
    start(config());
    CliRun r = cli({"clock", "sync"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Zeit gesendet (0T", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(u8"Gerätezeit: "), std::string::npos);
    // The device clock, read afresh, against this process's own clock.
    const std::string record = server->with_model([](Model& m) { return m.status_record(); });
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::tm dev{};
    dev.tm_mday = std::stoi(record.substr(3, 2));
    dev.tm_mon = std::stoi(record.substr(5, 2)) - 1;
    dev.tm_year = 100 + std::stoi(record.substr(7, 2));
    dev.tm_hour = std::stoi(record.substr(9, 2));
    dev.tm_min = std::stoi(record.substr(11, 2));
    dev.tm_sec = std::stoi(record.substr(13, 2));
    dev.tm_isdst = -1;
    EXPECT_LE(std::abs(std::difftime(std::mktime(&dev), now)), 2.0) << record;
}

TEST_F(CliProgramTest, ShiftSettingsAndIrChangeTheDevice) {
    start(config());
    EXPECT_EQ(cli({"clock", "shift", "-1"}).out, "Zeit gesendet (0T173045)\n");
    EXPECT_EQ(cli({"settings", "send", "0101"}).out, "Einstellung gesendet (0S0101)\n");
    EXPECT_EQ(cli({"ir", "off"}).out, "IR aus gesendet (0R1)\n");
    server->with_model([](Model& m) {
        EXPECT_EQ(m.time().substr(0, 2), "17");
        EXPECT_EQ(m.settings(), "0101");
        EXPECT_EQ(m.ir(), '1');
        return 0;
    });
    // Their acknowledgements were not left for the next run.
    EXPECT_EQ(cli({"status"}).status, 0);
}

TEST_F(CliProgramTest, ScanAndSend) {
    SimConfig c = config();
    const char* codes[] = {"", "01", "02", "05", "04", "06", "07", "08", "00", "99"};
    for (std::size_t a = 1; a <= 9; ++a) c.preset.devices[a] = codes[a];  // no 5 s silences
    start(c);
    CliRun r = cli({"scan"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(r.out.find("Port 1:")), "Port 1:101 -> PR99 MK2\nPort 2:202 -> A725\nPort 3:305 -> B225\n"
                                                   "Port 4:404 -> B215\nPort 5:506 -> B226\nPort 6:607 -> A725-2\n"
                                                   "Port 7:708 -> B291\nPort 8:800 -> kein Identifier\n"
                                                   "Port 9:999 -> Fehler\n");
    r = cli({"scan", "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"address\": 3,\n    \"reply\": \"305\",\n    \"identifier\": \"05\",\n    \"name\": \"B225\""),
              std::string::npos)
        << r.out;
    r = cli({"send", "3X"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "305\n");
}

TEST_F(CliProgramTest, PortFromTheEnvironmentAndFromZendrillIni) {
    start(config());
    Child c = start_cli({"status"}, dir, server->slave_path().c_str());
    EXPECT_EQ(finish(c).status, 0);
    write_file(dir + "/Zendrill.ini", "Comport = " + server->slave_path() + "\r\n");
    c = start_cli({"status"}, dir);
    EXPECT_EQ(finish(c).status, 0);
    write_file(dir + "/Zendrill.ini", "Comport = Com1:\r\n");
    c = start_cli({"status"}, dir);
    CliRun r = finish(c);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ZENDRILL_PORT"), std::string::npos);
    c = start_cli({"--port", dir + "/nothing", "status"}, dir);
    EXPECT_EQ(finish(c).status, 3);
}

TEST_F(CliProgramTest, TwoRunsOnOnePortDoNotInterleave) {
    SimConfig c = config();
    c.faults.late_ms = 300;  // a slow device keeps the first run busy for seconds
    start(c);
    Child first = start_cli({"--port", server->slave_path(), "timers", "list"}, dir);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Child second = start_cli({"--port", server->slave_path(), "status"}, dir);
    Child impatient = start_cli({"--port", server->slave_path(), "--wait", "1", "status"}, dir);
    const CliRun r3 = finish(impatient);
    const CliRun r1 = finish(first);
    const CliRun r2 = finish(second);
    EXPECT_EQ(r1.status, 0) << r1.err;
    EXPECT_EQ(r2.status, 0) << r2.err;
    EXPECT_EQ(r3.status, 3);
    EXPECT_EQ(r3.err, "Port " + server->slave_path() + " ist belegt (1 s gewartet)\n");
    EXPECT_LT(r3.ms, r1.ms);
    EXPECT_EQ(received(), (std::vector<std::string>{"0C01", "0C02", "0C03", "0C04", "0C05", "0X"}));
}

TEST_F(CliProgramTest, SigtermDuringImportFinishesTheTimerInFlightAndSaysWhatWasNotSent) {
    log = std::make_unique<LogPipe>();
    SimConfig c = config();
    c.log_path = log->path();
    start(c);
    const std::string file = dir + "/in.ini";
    const std::string record = "W00000110050010063000071500";
    write_file(file, "B203Modus = 0101\r\nTimer1 = " + record + "\r\nTimer2 = \r\nTimer4 = " + record + "\r\n");
    Child child = start_cli({"--port", server->slave_path(), "timers", "import", file}, dir);
    ASSERT_TRUE(log->wait_for("RX \"0E01"));  // timer 1's write has reached the device
    kill(child.pid, SIGTERM);
    const CliRun r = finish(child);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Einstellung gesendet (0S0101)\nTimer 1: geschrieben\n");
    EXPECT_EQ(r.err, "Abgebrochen; bearbeitet: Einstellung, Timer 1; nicht gesendet: Timer 2, Timer 4\n");
    // Timer 1 was read back; nothing after it was sent.
    EXPECT_EQ(received(), (std::vector<std::string>{"0S0101", "0X", "0E01" + record, "0C01"}));
    server->with_model([&](Model& m) {
        EXPECT_EQ(m.timer(1), record);
        EXPECT_EQ(m.timer(2), "W01010100050010063000071500");
        return 0;
    });
    // The line was let go.
    EXPECT_EQ(cli({"--wait", "0", "status"}).status, 0);
}

TEST_F(CliProgramTest, ASecondSignalEndsTheRunAtOnceAndLetsTheLineGo) {
    log = std::make_unique<LogPipe>();
    SimConfig c = config();
    c.log_path = log->path();
    c.faults.late_ms = 3000;
    start(c);
    Child child = start_cli({"--port", server->slave_path(), "timers", "list"}, dir);
    ASSERT_TRUE(log->wait_for("RX \"0C01"));
    // Two kinds, as two signals of one kind may arrive as one.
    kill(child.pid, SIGINT);
    kill(child.pid, SIGTERM);
    const CliRun r = finish(child);
    EXPECT_EQ(r.status, 128 + SIGTERM);
    EXPECT_LT(r.ms, 3000);  // it did not wait for the late reply
    ASSERT_TRUE(log->wait_for("TX \"0C011E"));  // the late reply is out, not into the next run
    const CliRun next = cli({"--wait", "0", "status"});
    EXPECT_EQ(next.status, 0) << next.err;
}

TEST_F(CliProgramTest, ALateAnswerToAnEarlierRunIsNotTakenForTheReply) {
    log = std::make_unique<LogPipe>();
    SimConfig c = config();
    c.log_path = log->path();
    c.faults.late_ms = 2500;  // beyond send's 2 s
    start(c);
    CliRun r = cli({"send", "0X"});
    EXPECT_EQ(r.status, 1);
    ASSERT_TRUE(log->wait_for("TX \"0X:"));  // the answer now waits on the line
    r = cli({"send", "0X"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, u8"Rückmeldung: keine oder Timeout\n");
    EXPECT_EQ(received(), (std::vector<std::string>{"0X", "0X"}));
}

TEST_F(CliProgramTest, SettingsAndIrOnASilentDeviceFail) {
    SimConfig c = config();
    c.faults.silent = true;
    start(c);
    CliRun r = cli({"settings", "send", "0101"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, u8"Einstellung gesendet (0S0101), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (0)\n");
    r = cli({"ir", "off"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, u8"IR aus gesendet (0R1), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (0)\n");
}

}  // namespace
}  // namespace zd::sim
