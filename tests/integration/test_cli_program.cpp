// zendrill-cli as a scheduler runs it: a child process on the simulator's
// pty, its exit status, stdout and stderr, and the traffic the device saw.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "tests/integration/program.h"
#include "tests/integration/sim_fixture.h"
#include "tests/integration/traffic.h"

namespace zd::sim {
namespace {

using namespace zd::test;

// In the child: `path` opened with `flags` becomes descriptor `fd`.
void redirect(int fd, const char* path, int flags) {
    const int opened = open(path, flags);
    if (opened < 0 || dup2(opened, fd) < 0) _exit(125);
    close(opened);
}

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t kind_of(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

const std::string kBackupLines =
    "B203Modus = 1200\r\nTimer1 = \r\nTimer2 = W01010100050010063000071500\r\n"
    "Timer3 = D2403260121000200000213000\r\nTimer4 = \r\nTimer5 = \r\n";
const std::vector<std::string> kExportTraffic{"0X", "0C01", "0C02", "0C03", "0C04", "0C05"};

struct CliProgramTest : ::testing::Test {
    std::unique_ptr<SimServer> server;
    std::string dir;

    static SimConfig config() {
        SimConfig c = SimFixture::base_config();
        c.preset.timers[1] = "W01010100050010063000071500";  // timer 2
        c.preset.timers[2] = "D2403260121000200000213000";
        return c;
    }
    std::string log() const { return dir + "-sim.log"; }  // beside `dir`, whose entries tests count
    void start(SimConfig c) {
        c.log_path = log();
        server = std::make_unique<SimServer>(c);
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
    }
    void SetUp() override {
        dir = make_temp_dir("zendrill-cli-test");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        if (server) server->stop();
        if (!dir.empty()) remove_tree(dir + " " + log());
    }
    // zendrill-cli in `dir`, with `port` as ZENDRILL_PORT; `also` runs in
    // the child last, to change its standard streams or its user.
    void start_cli(Program& p, const std::vector<std::string>& args, std::optional<std::string> port = std::nullopt,
                   const std::function<void()>& also = {}) {
        p.start(ZENDRILL_CLI_PATH, args, {{"ZENDRILL_PORT", port}}, [&] {
            if (chdir(dir.c_str()) != 0) _exit(126);
            if (also) also();
        });
    }
    CliRun run(const std::vector<std::string>& args, std::optional<std::string> port = std::nullopt) {
        Program p;
        start_cli(p, args, port);
        return finish(p);
    }
    // A run on the simulator's line.
    CliRun cli(std::vector<std::string> args, const std::function<void()>& also = {}) {
        args.insert(args.begin(), {"--port", server->slave_path()});
        Program p;
        start_cli(p, args, std::nullopt, also);
        return finish(p);
    }
    std::vector<std::string> received() { return Traffic::read(log()).received(); }
    // Waits for a line the device received (RX) or sent (TX) that starts with `prefix`.
    bool wait_line(const char* kind, const std::string& prefix) {
        return Traffic::wait(log(), [&](const Traffic& t) {
            return !(kind[0] == 'R' ? t.received(prefix) : t.replies(prefix)).empty();
        });
    }
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
    const std::string backup = read_text(file);
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
    write_text(file, "old backup\r\n");
    CliRun r = cli({"timers", "export", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Abfrage Speicher 2 fehlgeschlagen!\nKeine Sicherung geschrieben\n");
    EXPECT_EQ(read_text(file), "old backup\r\n");
    EXPECT_EQ(entries(dir), std::vector<std::string>{"b203.ini"});
}

TEST_F(CliProgramTest, ExportWritesOnlyARegularFileOrANewPath) {
    start(config());
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0644), 0);
    const int reader = open((dir + "/fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(mkdir((dir + "/folder").c_str(), 0755), 0);
    ASSERT_EQ(symlink("nowhere.ini", (dir + "/dangling.ini").c_str()), 0);
    ASSERT_EQ(symlink("/dev/full", (dir + "/full.ini").c_str()), 0);
    struct Case {
        std::string target;
        std::string reason;
    } cases[] = {
        {"/dev/full", u8"eine Gerätedatei, keine gewöhnliche Datei"},
        {dir + "/full.ini", u8"eine Gerätedatei, keine gewöhnliche Datei"},
        {dir + "/fifo", u8"eine benannte Pipe (FIFO), keine gewöhnliche Datei"},
        {dir + "/folder", "ein Verzeichnis, keine Datei"},
        {dir + "/dangling.ini", "ein symbolischer Verweis auf etwas, das es nicht gibt"},
        {dir + "/missing/b.ini", "der Ordner ist nicht vorhanden"},
        {dir + "/" + std::string(300, 'a'), "Dateiname zu lang"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const CliRun r = cli({"timers", "export", c.target});
        EXPECT_EQ(r.status, 4);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "Die Datei " + c.target + " kann nicht geschrieben werden: " + c.reason + "; nichts gesendet\n");
    }
    EXPECT_EQ(kind_of("/dev/full"), S_IFCHR);
    EXPECT_EQ(kind_of(dir + "/fifo"), S_IFIFO);
    char byte = 0;
    EXPECT_EQ(read(reader, &byte, 1), 0);  // no writer ever came
    close(reader);
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"dangling.ini", "fifo", "folder", "full.ini"}));
    // The device was not asked: the first line it hears is this one's.
    EXPECT_EQ(cli({"status"}).status, 0);
    EXPECT_EQ(received(), std::vector<std::string>{"0X"});
}

TEST_F(CliProgramTest, ExportThroughALinkReplacesItsFileAndKeepsTheUsersOwnTemporaryFiles) {
    start(config());
    write_text(dir + "/real.ini", "old\r\n");
    ASSERT_EQ(chmod((dir + "/real.ini").c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.ini", (dir + "/link.ini").c_str()), 0);
    write_text(dir + "/real.ini.tmp", "mine");
    write_text(dir + "/link.ini.tmp", "mine too");
    const CliRun r = cli({"timers", "export", dir + "/link.ini"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Sicherung geschrieben: " + dir + "/link.ini (Einstellung 1200, 2 von 5 Timern belegt)\n");
    EXPECT_EQ(kind_of(dir + "/link.ini"), S_IFLNK);
    const std::string backup = read_text(dir + "/real.ini");
    EXPECT_EQ(backup.substr(backup.find("\r\n") + 2), kBackupLines);
    struct stat st {};
    ASSERT_EQ(stat((dir + "/real.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(read_text(dir + "/real.ini.tmp"), "mine");
    EXPECT_EQ(read_text(dir + "/link.ini.tmp"), "mine too");
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"link.ini", "link.ini.tmp", "real.ini", "real.ini.tmp"}));
}

TEST_F(CliProgramTest, OutputThatDoesNotArriveIsNoSuccess) {
    start(config());
    // The backup to a full disk.
    CliRun r = cli({"timers", "export"}, [] { redirect(1, "/dev/full", O_WRONLY); });
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err, u8"Die Standardausgabe konnte nicht geschrieben werden: kein Platz mehr auf dem Datenträger\n"
                     u8"Keine vollständige Sicherung geschrieben\n");
    // A closed stdout: nothing meant for it reaches the line, which took
    // its number before.
    r = cli({"status"}, [] { close(1); });
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err, u8"Die Standardausgabe konnte nicht geschrieben werden: nicht geöffnet\n");
    r = cli({"timers", "export", dir + "/b.ini"}, [] { close(1); });
    EXPECT_EQ(r.status, 4);
    const std::string backup = read_text(dir + "/b.ini");
    EXPECT_EQ(backup.substr(backup.find("\r\n") + 2), kBackupLines);
    // A reader that went away ends nothing in the middle of the exchange.
    r = cli({"timers", "list"}, [] {
        int p[2];
        if (pipe(p) != 0 || dup2(p[1], 1) < 0) _exit(125);
        close(p[0]);
    });
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err, "Die Standardausgabe konnte nicht geschrieben werden: der Empf\xC3\xA4nger hat die Verbindung "
                     "geschlossen\n");
    std::vector<std::string> traffic = kExportTraffic;
    traffic.push_back("0X");
    traffic.insert(traffic.end(), kExportTraffic.begin(), kExportTraffic.end());
    traffic.insert(traffic.end(), kExportTraffic.begin() + 1, kExportTraffic.end());
    EXPECT_EQ(received(), traffic);
}

TEST_F(CliProgramTest, ImportSaysWhatIsWrongWithItsFile) {
    start(config());
    const std::string big = dir + "/big.ini";
    const int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 100 << 20), 0);  // 100 MB without using the disk
    close(fd);
    ASSERT_EQ(mkfifo((dir + "/fifo.ini").c_str(), 0644), 0);  // no writer: an open would wait for ever
    ASSERT_EQ(mkdir((dir + "/folder").c_str(), 0755), 0);
    struct Case {
        std::string file;
        std::string reason;
    } cases[] = {
        {big, u8"zu groß: 104857600 Bytes, höchstens 65536"},
        {"/dev/zero", u8"eine Gerätedatei, keine gewöhnliche Datei"},
        {dir + "/fifo.ini", u8"eine benannte Pipe (FIFO), keine gewöhnliche Datei"},
        {dir + "/folder", "ein Verzeichnis, keine Datei"},
        {dir + "/missing.ini", "nicht vorhanden"},
        {big + "/x.ini", "ein Teil des Pfades ist kein Verzeichnis"},
        {dir + "/" + std::string(300, 'a'), "Dateiname zu lang"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const CliRun r = cli({"timers", "import", c.file});
        EXPECT_EQ(r.status, 4);
        EXPECT_EQ(r.err, "Die Datei " + c.file + " ist nicht lesbar: " + c.reason + "; nichts gesendet\n");
    }
    if (geteuid() == 0) {  // as nobody, the root-only folder is closed
        write_text(dir + "/in.ini", "Timer1 = \r\n");
        const CliRun r = cli({"timers", "import", dir + "/in.ini"}, [] {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(125);
        });
        EXPECT_EQ(r.status, 4);
        EXPECT_EQ(r.err, "Die Datei " + dir + "/in.ini ist nicht lesbar: keine Berechtigung; nichts gesendet\n");
    }
    EXPECT_EQ(cli({"status"}).status, 0);
    EXPECT_EQ(received(), std::vector<std::string>{"0X"});
}

TEST_F(CliProgramTest, ImportReadsStandardInputForADash) {
    start(config());
    const std::string file = dir + "/in.ini";
    write_text(file, "Timer1 = W01010100050010063000071500\r\n");
    CliRun r = cli({"timers", "import", "-"}, [&] { redirect(0, file.c_str(), O_RDONLY); });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Timer 1: geschrieben\n");
    EXPECT_EQ(server->with_model([](Model& m) { return m.timer(1); }), "W01010100050010063000071500");
    r = cli({"timers", "import", "-"}, [] { redirect(0, "/dev/zero", O_RDONLY); });
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err, u8"Die Standardeingabe ist nicht lesbar: zu groß: mehr als 65536 Bytes; nichts gesendet\n");
    r = cli({"timers", "import", "-"}, [] { close(0); });
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err, u8"Die Standardeingabe ist nicht lesbar: nicht geöffnet; nichts gesendet\n");
    EXPECT_EQ(received(), (std::vector<std::string>{"0E01W01010100050010063000071500", "0C01"}));
}

// The line's settings as a test holding the pty's slave sees them.
struct LineWatch {
    int fd = -1;
    explicit LineWatch(const std::string& path) : fd(open(path.c_str(), O_RDWR | O_NOCTTY)) {}
    ~LineWatch() {
        if (fd >= 0) close(fd);
    }
    termios now() const {
        termios t{};
        tcgetattr(fd, &t);
        return t;
    }
    // A terminal as a user leaves it: 9600 baud, line editing.
    void set_terminal_mode() const {
        termios t = now();
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        t.c_lflag |= ICANON;
        tcsetattr(fd, TCSANOW, &t);
    }
    bool in_terminal_mode() const {
        const termios t = now();
        return cfgetospeed(&t) == B9600 && (t.c_lflag & ICANON);
    }
};

TEST_F(CliProgramTest, TheLineGetsItsSettingsBackAtTheEnd) {
    start(config());
    LineWatch line(server->slave_path());
    ASSERT_GE(line.fd, 0);
    line.set_terminal_mode();
    EXPECT_EQ(cli({"status"}).status, 0);
    EXPECT_TRUE(line.in_terminal_mode());
}

TEST_F(CliProgramTest, TheLineGetsItsSettingsBackWhenASignalEndsTheRun) {
    SimConfig c = config();
    c.faults.silent = true;  // five timers take 20 s
    start(c);
    LineWatch line(server->slave_path());
    ASSERT_GE(line.fd, 0);
    line.set_terminal_mode();
    Program list;
    start_cli(list, {"--port", server->slave_path(), "timers", "list"});
    // The run holds the line once it set 1200 baud.
    EXPECT_TRUE(eventually(
        [&] {
            const termios t = line.now();
            return cfgetospeed(&t) == B1200;
        },
        seconds(10)));
    // Two signals: the first asks for a stop after the exchange, the second
    // ends the run at once through the handler that hands the line back.
    kill(list.pid(), SIGTERM);
    kill(list.pid(), SIGINT);
    const CliRun r = finish(list);
    EXPECT_TRUE(r.status == 128 + SIGTERM || r.status == 128 + SIGINT) << r.status;
    EXPECT_TRUE(line.in_terminal_mode());
    // And it is free again.
    EXPECT_EQ(cli({"--wait", "0", "send", "0X"}).status, 1);
}

TEST_F(CliProgramTest, ImportWithOneBadEntrySendsNothing) {
    start(config());
    const std::string file = dir + "/in.ini";
    write_text(file, "B203Modus = 1200\r\nTimer1 = W01010100050010063000071500\r\nTimer4 = W0101010005001006300007150\r\n");
    CliRun r = cli({"timers", "import", file});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Zeile 3: Timer4: ein Wochentag-Datensatz hat 27 Zeichen, dieser 26\n" + file +
                         ": 1 fehlerhafte Zeile; nichts gesendet\n");
    // The device was not asked: the first line it hears is the next run's.
    EXPECT_EQ(cli({"status"}).status, 0);
    EXPECT_EQ(received(), std::vector<std::string>{"0X"});
}

TEST_F(CliProgramTest, RefusedWritesAreReported) {
    SimConfig c = config();
    c.model.refuse_writes = true;
    start(c);
    const std::string file = dir + "/in.ini";
    write_text(file, "Timer1 = W01010100050010063000071500\r\n");
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
    EXPECT_EQ(run({"status"}, server->slave_path()).status, 0);
    write_text(dir + "/Zendrill.ini", "Comport = " + server->slave_path() + "\r\n");
    EXPECT_EQ(run({"status"}).status, 0);
    write_text(dir + "/Zendrill.ini", "Comport = Com1:\r\n");
    const CliRun r = run({"status"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ZENDRILL_PORT"), std::string::npos);
    EXPECT_EQ(run({"--port", dir + "/nothing", "status"}).status, 3);
}

TEST_F(CliProgramTest, PortsThatAreNoLinesAreNamedInGerman) {
    const std::string long_name = "/" + std::string(300, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"/tmp", "kein serielles Ger\xC3\xA4t"},
        {"/dev/null", "kein serielles Ger\xC3\xA4t"},
        {"/nowhere/tty", "Ger\xC3\xA4t nicht vorhanden"},
        {"/etc/passwd/tty", "ein Teil des Pfades ist kein Verzeichnis"},
        {long_name, "Dateiname zu lang"},
    };
    for (const auto& [port, reason] : cases) {
        const CliRun r = run({"--port", port, "status"});
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.err, "Konnte " + port + " nicht \xC3\xB6\x66\x66nen ! (" + reason + ")\n");
    }
}

TEST_F(CliProgramTest, TwoRunsOnOnePortDoNotInterleave) {
    SimConfig c = config();
    c.faults.late_ms = 300;  // a slow device keeps the first run busy for seconds
    start(c);
    Program first, second, impatient;
    start_cli(first, {"--port", server->slave_path(), "timers", "list"});
    // The others start once the device has the first run's first command:
    // by then the first run holds the port.
    ASSERT_TRUE(eventually([&] { return !received().empty(); }, seconds(20))) << "the first run sent nothing";
    start_cli(second, {"--port", server->slave_path(), "status"});
    start_cli(impatient, {"--port", server->slave_path(), "--wait", "1", "status"});
    const CliRun r3 = finish(impatient);
    const CliRun r1 = finish(first);
    const CliRun r2 = finish(second);
    EXPECT_EQ(r1.status, 0) << r1.err;
    EXPECT_EQ(r2.status, 0) << r2.err;
    EXPECT_EQ(r3.status, 3);
    EXPECT_EQ(r3.err, "Port " + server->slave_path() + " ist belegt (1 s gewartet)\n");
    EXPECT_LT(r3.took, r1.took);
    EXPECT_EQ(received(), (std::vector<std::string>{"0C01", "0C02", "0C03", "0C04", "0C05", "0X"}));
}

TEST_F(CliProgramTest, SigtermDuringImportFinishesTheTimerInFlightAndSaysWhatWasNotSent) {
    start(config());
    const std::string file = dir + "/in.ini";
    const std::string record = "W00000110050010063000071500";
    write_text(file, "B203Modus = 0101\r\nTimer1 = " + record + "\r\nTimer2 = \r\nTimer4 = " + record + "\r\n");
    Program child;
    start_cli(child, {"--port", server->slave_path(), "timers", "import", file});
    ASSERT_TRUE(wait_line("RX", "0E01"));  // timer 1's write has reached the device
    kill(child.pid(), SIGTERM);
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
    SimConfig c = config();
    c.faults.late_ms = 3000;
    start(c);
    Program child;
    start_cli(child, {"--port", server->slave_path(), "timers", "list"});
    ASSERT_TRUE(wait_line("RX", "0C01"));
    // Two kinds, as two signals of one kind may arrive as one.
    kill(child.pid(), SIGINT);
    kill(child.pid(), SIGTERM);
    const CliRun r = finish(child);
    EXPECT_EQ(r.status, 128 + SIGTERM);
    EXPECT_LT(r.took.count(), 3000);  // it did not wait for the late reply
    ASSERT_TRUE(wait_line("TX", "0C011E"));  // the late reply is out, not into the next run
    const CliRun next = cli({"--wait", "0", "status"});
    EXPECT_EQ(next.status, 0) << next.err;
}

TEST_F(CliProgramTest, ALateAnswerToAnEarlierRunIsNotTakenForTheReply) {
    SimConfig c = config();
    c.faults.late_ms = 2500;  // beyond send's 2 s
    start(c);
    CliRun r = cli({"send", "0X"});
    EXPECT_EQ(r.status, 1);
    ASSERT_TRUE(wait_line("TX", "0X:"));  // the answer now waits on the line
    r = cli({"send", "0X"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, u8"Rückmeldung: keine oder Timeout\n");
    EXPECT_EQ(received(), (std::vector<std::string>{"0X", "0X"}));
}

// A device that sends XOFF before every reply and never XON: each run's
// open lifts the hold, so its first line goes out; the next one is held and
// the run ends within the write's deadline, saying why.
TEST_F(CliProgramTest, ALineHeldByXoffEndsTheRunWithExit1) {
    SimConfig c = config();
    c.faults.stray = "\x13";
    start(c);
    CliRun r = cli({"status"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = cli({"ir", "on"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, u8"IR ein gesendet (0R0), aber nicht bestätigt: Abfrage Gerätestatus fehlgeschlagen (0)\n"
                     u8"Senden fehlgeschlagen: die Leitung nimmt nichts an (XOFF vom Gerät?)\n");
    EXPECT_LT(r.took.count(), 4000);
    EXPECT_EQ(received(), (std::vector<std::string>{"0X", "0R0"}));
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
