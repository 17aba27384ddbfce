#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>

#include "tests/unit/daemon/sim_b203.h"
#include "zendrilld/history.h"
#include "zendrilld/journal.h"
#include "zendrilld/line_agent.h"

namespace zd::test {
namespace {

using daemon::Door;
using daemon::Journal;
using daemon::JournalEntry;
namespace kind = daemon::kind;

struct TempDir {
    std::string path;
    TempDir() {
        std::string t = "/tmp/zd-journal-XXXXXX";
        path = mkdtemp(t.data()) ? t : "";
    }
    ~TempDir() { (void)!std::system(("umount -q " + path + " 2>/dev/null; rm -rf " + path).c_str()); }
    std::string file(const std::string& name = "journal.db") const { return path + "/" + name; }
};

struct Lines {
    std::vector<std::string> lines;
    std::mutex m;
    daemon::Log log{daemon::Log::Sink([this](const std::string& l) {
        std::lock_guard<std::mutex> lock(m);
        lines.push_back(l);
    })};
    int count(const std::string& part) {
        std::lock_guard<std::mutex> lock(m);
        int n = 0;
        for (const std::string& l : lines) n += l.find(part) != std::string::npos;
        return n;
    }
};

const LocalTime kToday{2026, 12, 10, 9, 0, 0, 0, 60};

std::string integrity(const std::string& path) {
    sqlite3* db = nullptr;
    std::string out = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return out;
}

long long file_size(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

JournalEntry change(long long at, int timer, const std::string& before, const std::string& after) {
    JournalEntry e;
    e.at = at;
    e.kind = kind::kTimer;
    e.door = Door::Web;
    e.timer = timer;
    e.before = before;
    e.after = after;
    return e;
}

// Central European time with summer time, as the host's zone: the device
// knows no summer time, so each change moves the drift by an hour.
struct ZoneSystem : FakeSystem {
    VirtualClock& clock;
    long long base_unix;
    ZoneSystem(VirtualClock& c, long long unix) : clock(c), base_unix(unix) {}
    static long long last_sunday_1am_utc(int year, int month) {
        const long long first_next = civil_seconds(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1, 1, 0, 0);
        long long day = first_next - 86400;
        while (civil_weekday(day) != 0) day -= 86400;
        return day + 946684800LL;
    }
    int offset_min(long long unix) const {
        const int year = civil_time(unix - 946684800LL).year;
        return unix >= last_sunday_1am_utc(year, 3) && unix < last_sunday_1am_utc(year, 10) ? 120 : 60;
    }
    long long unix_now() const { return base_unix + clock.now / 1000; }
    LocalTime local_time() override {
        const long long u = unix_now();
        const int off = offset_min(u);
        const CivilTime t = civil_time(u - 946684800LL + off * 60);
        return LocalTime{t.year, t.month, t.day, t.hour, t.minute, t.second, static_cast<int>(clock.now % 1000), off};
    }
};

// A year of the daemon's line work in virtual time on a real journal file: a
// device clock 1.8 s a day fast, two summer-time changes, port outages,
// changes from each door. Every change is journaled once with its door and
// the state before and after, the rate is found to within 0.1 s a day (also
// from what a restart reads back), and the file stays small.
TEST(Journal, AYearOfTheLineInVirtualTime) {
    const auto wall = std::chrono::steady_clock::now();
    TempDir dir;
    Lines log;
    VirtualClock clock;
    FakePort port{clock};
    SimB203 device{port, clock};
    device.time.rate = 1.0 + 1.8 / 86400.0;
    const long long start_unix = 1767225600;  // 2026-01-01 00:00 UTC
    ZoneSystem sys{clock, start_unix};
    daemon::DaemonConfig config = daemon::default_daemon_config();
    config.port = "/dev/ttyB203";
    daemon::DevicePicture picture{config};
    Journal journal(dir.file(), log.log);
    journal.start(kToday);
    daemon::LineAgent agent(config, sys, clock, picture, log.log, &journal);
    agent.attach(&port);
    const LocalTime t0 = sys.local_time();
    device.set_clock_s(civil_seconds(t0.year, t0.month, t0.day, t0.hour, t0.minute, t0.second));
    device.set_timer(1, "W01111100050010063000071500");

    // What each door does, on which day; "buttons" and "loan" change the device behind the daemon's back.
    struct Planned {
        int day;
        Door door;
        int timer;
        std::string record;  // "" erase; "S" + codes: settings
    };
    const std::vector<Planned> plan = {
        {10, Door::Web, 3, "W10101000050010063000071500"},
        {40, Door::HomeAssistant, 3, "W01111100050010060000064500"},
        {70, Door::Device, 4, "W00000110050010080000090000"},
        {100, Door::Cli, 4, ""},
        {130, Door::HomeAssistant, 0, "S2100"},
        {160, Door::Web, 1, ""},
        {200, Door::Device, 0, "S1100"},
        {250, Door::Web, 2, "D2412260071100190000230000"},
        {280, Door::Web, 5, "W10000010050010080000090000"},  // the device goes quiet right after taking it
    };
    std::map<int, std::string> last = {{1, "W01111100050010063000071500"}, {2, ""}, {3, ""}, {4, ""}, {5, ""}};
    std::string last_settings = "1000";
    std::vector<std::string> expected;  // "door|timer|before|after" of every change
    const long long poll_ms = 300 * 1000;
    const long long day_ms = 86400LL * 1000;
    std::size_t next = 0;
    long long quiet_until = 0;
    for (long long t = poll_ms; t <= 365 * day_ms; t += poll_ms) {
        clock.now = std::max(clock.now, t);
        const int day = static_cast<int>(t / day_ms);
        // A port that hangs up on days 50 and 300, a silent device for two hours on day 90.
        if ((day == 50 || day == 300) && t % day_ms == 12 * 3600 * 1000LL) {
            agent.detach();
            agent.lose_link("Port /dev/ttyB203 weg");
            agent.attach(&port);
        }
        device.silent = (day == 90 && t % day_ms < 2 * 3600 * 1000LL) || t < quiet_until;
        if (next < plan.size() && day == plan[next].day && t % day_ms == 10 * 3600 * 1000LL) {
            const Planned& p = plan[next++];
            const bool settings = !p.record.empty() && p.record[0] == 'S';
            const std::string after = settings ? p.record.substr(1) : p.record;
            if (p.door == Door::Device || p.door == Door::Cli) {
                if (p.door == Door::Cli) agent.lent(true);
                if (settings) device.model.set_settings(after);
                else device.model.set_timer(p.timer, after.empty() ? "E" : after);
                if (p.door == Door::Cli) agent.lent(false);
                agent.read_timers();
            } else {
                daemon::Parsed r = settings ? daemon::settings_undo_request("x", after, last_settings)
                                   : after.empty() ? daemon::timer_erase_request("x", p.timer)
                                                   : daemon::timer_write_request("x", p.timer, after);
                ASSERT_TRUE(r.ok) << r.message;
                r.request.asker = p.door;
                if (p.day == 280) {
                    port.on_write = [&](const std::string& w) {
                        device.take(w);
                        if (w.rfind("0E05", 0) == 0) device.silent = true;
                    };
                    EXPECT_EQ(agent.run(r.request).kind, daemon::Outcome::Kind::Silent);
                    port.on_write = [&](const std::string& w) { device.take(w); };
                    quiet_until = t + 3600 * 1000LL;
                } else {
                    EXPECT_TRUE(agent.run(r.request).ok()) << "day " << day;
                }
            }
            const Door door = p.door == Door::Cli ? Door::Device : p.door;
            if (settings) {
                expected.push_back(std::string(daemon::door_name(door)) + "|0|" + last_settings + "|" + after);
                last_settings = after;
            } else {
                expected.push_back(std::string(daemon::door_name(door)) + "|" + std::to_string(p.timer) + "|" +
                                   last[p.timer] + "|" + after);
                last[p.timer] = after;
            }
        }
        agent.read_status();
        if (t % (4 * 3600 * 1000LL) == 0) agent.read_timers();
        if (t % day_ms == 0) journal.flush();
    }
    journal.flush();

    // Every change once, with its door, before and after.
    std::vector<std::string> found;
    std::map<std::string, int> kinds;
    daemon::HistoryQuery q;
    q.limit = 200;
    for (;;) {
        daemon::HistoryPage page;
        std::string problem;
        ASSERT_TRUE(journal.history(q, page, problem)) << problem;
        for (const JournalEntry& e : page.entries) {
            ++kinds[e.kind];
            if (e.kind == kind::kTimer || e.kind == kind::kSettings)
                found.insert(found.begin(), std::string(daemon::door_name(e.door)) + "|" + std::to_string(e.timer) +
                                                "|" + e.before.value_or("?") + "|" + e.after.value_or("?"));
        }
        if (!page.more) break;
        q.before = page.entries.back().id;
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(kinds[kind::kLink], 10);  // four times lost and back, lent and back
    // Two summer-time changes and a correction every day or two.
    EXPECT_GE(kinds[kind::kClock], 150);
    EXPECT_LE(kinds[kind::kClock], 260);

    const daemon::RateEstimate rate = picture.snapshot().clock_rate;
    EXPECT_TRUE(rate.known);
    EXPECT_NEAR(rate.s_per_day, 1.8, 0.1);
    EXPECT_EQ(daemon::rate_text(rate), "Die Geräteuhr geht 1,8 s pro Tag vor");
    // After a restart the rate comes from what the journal kept.
    const daemon::JournalMemory memory = journal.memory(sys.unix_now());
    daemon::ClockRate again;
    for (const daemon::ClockReading& r : memory.readings) again.add(r.at, r.drift_s, r.fresh);
    EXPECT_NEAR(again.estimate().s_per_day, 1.8, 0.1);
    EXPECT_EQ(memory.known.at("settings"), last_settings);
    EXPECT_EQ(memory.known.at("timer2"), last[2]);

    journal.stop();
    const long long size = file_size(dir.file()) + file_size(dir.file() + "-wal");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    std::printf("A year: rate %.3f s/d, %lld bytes in the journal, %.1f s of wall time\n", rate.s_per_day, size, seconds);
    EXPECT_EQ(integrity(dir.file()), "ok");
    EXPECT_LT(size, 1024 * 1024);
    EXPECT_EQ(log.count("Verlauf nicht"), 0);
}

// What each entry says, in the words the page and the API show.
TEST(Journal, EveryEntryInOneSentence) {
    const ValueNames names = make_value_names();
    const auto e = [](const char* k, Door door, int timer, std::optional<std::string> before,
                      std::optional<std::string> after, const std::string& detail = "", bool ok = true) {
        JournalEntry x;
        x.kind = k;
        x.door = door;
        x.timer = timer;
        x.before = std::move(before);
        x.after = std::move(after);
        x.detail = detail;
        x.ok = ok;
        return x;
    };
    JournalEntry undo = e(kind::kTimer, Door::Web, 2, "", "W01111100050010063000071500");
    undo.undo_of = 12;
    const struct {
        JournalEntry entry;
        const char* text;
        bool undo;
    } cases[] = {
        {e(kind::kTimer, Door::HomeAssistant, 3, "W01010100050010063000071500", "W01111100050010060000064500"),
         u8"Timer 3: Mo Mi Fr 06:30–07:15 → Mo–Fr 06:00–06:45 (Home Assistant)", true},
        {e(kind::kTimer, Door::Device, 4, "W10000011050010063000071500", ""),
         u8"Timer 4: Sa So 06:30–07:15 → leer (am Gerät oder während einer Leihe geändert)", true},
        {e(kind::kTimer, Door::Web, 5, "W01010100050010063000071500", "W01010100000011063000071500"),
         u8"Timer 5: Mo Mi Fr 06:30–07:15, Tuner 05, LS-A → Mo Mi Fr 06:30–07:15, Tuner 00, LS-A, LS-B (Web)", true},
        {e(kind::kTimer, Door::Web, 1, "", "D2412260071100190000230000"),
         u8"Timer 1: leer → 24.12.2026 19:00–23:00 (Web)", true},
        {undo, u8"Timer 2: leer → Mo–Fr 06:30–07:15 (Web, rückgängig gemacht: Eintrag 12)", true},
        {e(kind::kSettings, Door::HomeAssistant, 0, "1000", "2010"),
         u8"Einstellungen: Dialogsprache Deutsch → Französisch, Timer-Funktion ein → aus (Home Assistant)", true},
        {e(kind::kIr, Door::Web, 0, "0", "1"), u8"IR-Empfänger ausgeschaltet (Web)", false},
        {e(kind::kClock, Door::Daemon, 0, "4", "0"), u8"Uhr gestellt: Abweichung vorher +4 s, danach 0 s (zendrilld)",
         false},
        {e(kind::kClock, Door::Daemon, 0, "-3", "-3", "", false),
         u8"Uhr stellen misslungen: Abweichung vorher -3 s, danach -3 s (zendrilld)", false},
        {e(kind::kClock, Door::HomeAssistant, 0, std::nullopt, std::nullopt, "+1h"),
         u8"Uhr eine Stunde vorgestellt (Home Assistant)", false},
        {e(kind::kRaw, Door::Web, 0, "0X", ""), u8"Befehlszeile „0X“ gesendet; keine Rückmeldung (Web)", false},
        {e(kind::kCommand, Door::Web, 3, std::nullopt, std::nullopt,
           "Timer 3 schreiben: Timer 3 wurde anderswo geändert; nichts gesendet", false),
         u8"Nicht ausgeführt: Timer 3 schreiben: Timer 3 wurde anderswo geändert; nichts gesendet (Web)", false},
        {e(kind::kLink, Door::Daemon, 0, std::nullopt, std::nullopt, "Verbindung zum Gerät verloren: keine Antwort"),
         u8"Verbindung zum Gerät verloren: keine Antwort", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(daemon::history_sentence(c.entry, names), c.text);
        EXPECT_EQ(daemon::can_undo(c.entry), c.undo) << c.text;
    }
}

// Killed at any moment, the file loses at most what was in flight and
// stays whole; the next start goes on with it.
TEST(Journal, KilledWhileWritingTheFileStaysWhole) {
    TempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        daemon::Log quiet{daemon::Log::Sink([](const std::string&) {})};
        Journal j(dir.file(), quiet);
        j.start(kToday);
        for (long long i = 0;; ++i) {
            j.add(change(1767225600 + i, 1 + static_cast<int>(i % 5), "", "W01111100050010063000071500"));
            j.add(daemon::ClockReading{1767225600 + i, i % 7, false, false});
            if (i % 100 == 0) j.flush();
        }
    }
    // Killed once a few thousand entries are in, in the midst of more.
    const auto count = [&] {
        sqlite3* db = nullptr;
        long long n = 0;
        if (sqlite3_open_v2(dir.file().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(db, 1000);
            sqlite3_stmt* s = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM entries", -1, &s, nullptr) == SQLITE_OK &&
                sqlite3_step(s) == SQLITE_ROW)
                n = sqlite3_column_int64(s, 0);
            sqlite3_finalize(s);
        }
        sqlite3_close(db);
        return n;
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (count() < 3000 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_GE(count(), 3000);
    EXPECT_EQ(integrity(dir.file()), "ok");
    Lines log;
    Journal again(dir.file(), log.log);
    again.start(kToday);
    again.add(change(1767300000, 2, "", ""));
    again.flush();
    EXPECT_EQ(again.problem(), "");
    daemon::HistoryPage page;
    std::string problem;
    ASSERT_TRUE(again.history({}, page, problem)) << problem;
    EXPECT_EQ(page.entries.front().at, 1767300000);
}

// A file the journal cannot use never stops it: one line in the log, the
// reason for the page, adds that return at once; and it comes back when
// the file can be written again. A damaged file is moved aside at the start,
// one of another program left alone.
TEST(Journal, AFileItCannotUseIsNamedOnceAndNeverStopsIt) {
    // A small file system that fills up, then gets room again.
    {
        TempDir dir;
        if (::mount("tmpfs", dir.path.c_str(), "tmpfs", 0, "size=192k") != 0) GTEST_SKIP() << "no tmpfs to fill";
        Lines log;
        Journal j(dir.file(), log.log);
        j.start(kToday);
        std::ofstream(dir.file("filler")) << std::string(100 * 1024, 'x');
        for (int i = 0; i < 400; ++i) {
            JournalEntry e = change(1767225600 + i, 1, "", "");
            e.detail = std::string(500, static_cast<char>('a' + i % 26));
            j.add(e);
            if (i % 20 == 0) j.flush();
        }
        j.flush();
        EXPECT_EQ(j.problem(), "kein Platz mehr auf dem Datenträger");
        EXPECT_EQ(log.count("Verlauf nicht verfügbar: kein Platz mehr auf dem Datenträger"), 1);
        std::remove(dir.file("filler").c_str());
        j.add(change(1767300000, 1, "", ""));
        j.flush();
        EXPECT_EQ(j.problem(), "");
        EXPECT_EQ(log.count("Verlauf wieder verfügbar"), 1);
        j.stop();
        EXPECT_EQ(integrity(dir.file()), "ok");
    }
    // Another program holds the file's write lock.
    {
        TempDir dir;
        Lines log;
        Journal j(dir.file(), log.log);
        j.start(kToday);
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(dir.file().c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        j.add(change(1767225600, 1, "", ""));
        j.flush();
        EXPECT_EQ(j.problem(), "die Datei ist von einem anderen Programm gesperrt");
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        j.add(change(1767225601, 1, "", ""));
        j.flush();
        EXPECT_EQ(j.problem(), "");
    }
    // A damaged file, a foreign one, a link, a directory that takes no file.
    TempDir dir;
    {
        Lines log;
        Journal j(dir.file(), log.log);
        j.start(kToday);
        for (int i = 0; i < 2000; ++i) j.add(change(1767225600 + i, 1, "", std::string(27, 'W')));
        j.stop();
    }
    {
        std::fstream f(dir.file(), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(3 * 4096);
        f << std::string(8192, '\x5a');
    }
    std::ofstream(dir.file("foreign.db")) << "not a database, not ours";
    ASSERT_EQ(::symlink(dir.file("foreign.db").c_str(), dir.file("link.db").c_str()), 0);
    ::mkdir(dir.file("ro").c_str(), 0755);
    const bool ro = ::mount("tmpfs", dir.file("ro").c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0;
    const struct {
        std::string file, problem;
    } cases[] = {
        {dir.file(), ""},
        {dir.file("foreign.db"), "die Datei ist keine Datenbank von zendrilld; sie bleibt unangetastet"},
        {dir.file("link.db"), "die Datei ist ein symbolischer Verweis"},
        {dir.file("ro/journal.db"), dir.file("ro") + ": das Dateisystem ist nur lesbar"},
    };
    for (const auto& c : cases) {
        if (c.file == dir.file("ro/journal.db") && !ro) continue;
        Lines log;
        Journal j(c.file, log.log);
        j.start(kToday);
        for (int i = 0; i < 3; ++i) j.add(change(1767225600 + i, 1, "", ""));
        j.flush();
        EXPECT_EQ(j.problem(), c.problem) << c.file;
        EXPECT_EQ(log.count("Verlauf nicht verfügbar"), c.problem.empty() ? 0 : 1) << c.file;
        daemon::HistoryPage page;
        std::string problem;
        EXPECT_EQ(j.history({}, page, problem), c.problem.empty()) << c.file;
        if (c.problem.empty()) {
            EXPECT_EQ(page.entries.size(), 3u);
            EXPECT_EQ(log.count("liegt nun als " + dir.file() + ".defekt-2026-12-10"), 1);
        }
    }
    std::ifstream foreign(dir.file("foreign.db"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(foreign), {}), "not a database, not ours");
    EXPECT_EQ(integrity(dir.file() + ".defekt-2026-12-10").substr(0, 2), "**");
    if (ro) ::umount(dir.file("ro").c_str());
}

}  // namespace
}  // namespace zd::test
