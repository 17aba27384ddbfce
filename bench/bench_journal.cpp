// Prints what the journal costs after ten simulated years of a daemon's
// life: the file's size, the time to answer GET /api/history (newest page,
// pages deep in the past, filtered) and GET /api/clock (30 days of drift for
// the drawing), through the HTTP door's own handler without sockets.
//
// Not a test. Usage: bench_journal [--years N] [--queries N] [--dir DIR]
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/system.h"
#include "zendrilld/http/http_api.h"
#include "zendrilld/journal.h"
#include "zendrilld/line_agent.h"
#include "zendrilld/line_thread.h"

using namespace zd;
using namespace zd::daemon;
using Wall = std::chrono::steady_clock;

namespace {

struct Kept : HttpResponder {
    HttpResponse response;
    void answer(HttpResponse r) override { response = std::move(r); }
};

long long size_of(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<std::size_t>(p / 100 * static_cast<double>(v.size())))];
}

const char* const kRecords[] = {"W01010100050010063000071500", "W01111100050010060000064500",
                                "W10000011050011100000120000", "D2412260071100190000230000", ""};

// Ten years as the daemon would write them: a reading every poll, a
// correction whenever the drift passes 2 s, a few changes a day from the
// doors, link losses, restarts, refusals.
void fill(Journal& journal, int years, long long start) {
    std::mt19937 random(203);
    const long long poll = 60, end = start + years * 365LL * 86400;
    double drift = 0;
    bool fresh = true;
    long long level_low = 0, level_high = 0;
    for (long long t = start; t < end; t += poll) {
        drift += 1.8 * poll / 86400.0;
        const auto shown = static_cast<long long>(std::floor(drift));
        const bool level = fresh || shown < level_low || shown > level_high;
        if (fresh) level_low = level_high = shown;
        level_low = std::min(level_low, shown);
        level_high = std::max(level_high, shown);
        journal.add(ClockReading{t, shown, fresh, level});
        fresh = false;
        if (shown > 2) {
            JournalEntry e;
            e.at = t;
            e.offset_min = 60;
            e.drift_s = shown;
            e.kind = kind::kClock;
            e.before = std::to_string(shown);
            e.after = "0";
            journal.add(e);
            drift = 0;
            fresh = true;
        }
        if ((t - start) % 86400 == 0) {
            // Changes of the day.
            const int changes = static_cast<int>(random() % 4);
            for (int i = 0; i < changes; ++i) {
                JournalEntry e;
                e.at = t + 3600 * (i + 7);
                e.offset_min = 60;
                e.drift_s = shown;
                e.door = static_cast<Door>(1 + random() % 4);
                if (random() % 5 == 0) {
                    e.kind = kind::kSettings;
                    e.before = "1000";
                    e.after = "2010";
                } else {
                    e.kind = kind::kTimer;
                    e.timer = 1 + static_cast<int>(random() % 5);
                    e.before = kRecords[random() % 5];
                    e.after = kRecords[random() % 5];
                }
                journal.add(e);
            }
            if (random() % 7 == 0) {
                JournalEntry lost;
                lost.at = t + 1800;
                lost.kind = kind::kLink;
                lost.ok = false;
                lost.detail = "Verbindung zum Gerät verloren: Keine Antwort vom Gerät";
                journal.add(lost);
                lost.at += 600;
                lost.ok = true;
                lost.detail = "Verbindung zum Gerät wieder da";
                journal.add(lost);
            }
            if (random() % 10 == 0) {
                JournalEntry refused;
                refused.at = t + 5000;
                refused.kind = kind::kCommand;
                refused.door = Door::HomeAssistant;
                refused.timer = 2;
                refused.ok = false;
                refused.detail = "Timer 2 schreiben: Die Daten wurden vom Controller mit einer Fehlermeldung quittiert !";
                journal.add(refused);
            }
            journal.flush();
        }
    }
    journal.flush();
}

}  // namespace

int main(int argc, char** argv) {
    int years = 10, queries = 2000;
    std::string dir;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--years")) years = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--queries")) queries = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
    }
    if (dir.empty()) {
        char t[] = "/tmp/zd-bench-journal-XXXXXX";
        dir = mkdtemp(t) ? t : "/tmp";
    }
    const std::string file = dir + "/journal.db";
    if (size_of(file) > 0) {
        std::fprintf(stderr, "%s exists: the benchmark writes a new one\n", file.c_str());
        return 2;
    }
    Log log(Log::Sink([](const std::string& l) { std::fprintf(stderr, "%s\n", l.c_str()); }));
    const long long now = unix_seconds(host_system().local_time());
    const LocalTime today = host_system().local_time();
    {
        Journal journal(file, log);
        journal.start(today);
        const auto t0 = Wall::now();
        fill(journal, years, now - years * 365LL * 86400);
        journal.stop();
        std::printf("(1) %d simulated years written in %.1f s: %s holds %.2f MB (goal < 10 MB)\n", years,
                    std::chrono::duration<double>(Wall::now() - t0).count(), file.c_str(),
                    static_cast<double>(size_of(file) + size_of(file + "-wal")) / 1e6);
    }
    Journal journal(file, log);
    journal.start(today);
    DaemonConfig config = default_daemon_config();
    DevicePicture picture(config);
    LineAgent agent(config, host_system(), sleeping_clock(), picture, log, &journal);
    agent.remember(journal.memory(now));
    LineThread line(config, agent, picture, [](const std::string&, int) { return ExclusiveOpen{}; }, nullptr, log);
    HttpApi api(config, picture, line, host_system(), false, &journal);
    std::mt19937 random(1);
    HistoryPage all;
    std::string problem;
    HistoryQuery q;
    q.limit = 1;
    journal.history(q, all, problem);
    const long long newest = all.entries.empty() ? 1 : all.entries.front().id;
    long long oldest = newest, kept = 0;
    {
        sqlite3* db = nullptr;
        sqlite3_stmt* s = nullptr;
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        if (sqlite3_prepare_v2(db, "SELECT MIN(id), COUNT(*) FROM entries", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW) {
            oldest = sqlite3_column_int64(s, 0);
            kept = sqlite3_column_int64(s, 1);
        }
        sqlite3_finalize(s);
        sqlite3_close(db);
    }
    const auto somewhere = [&] { return std::to_string(oldest + static_cast<long long>(random() % (newest - oldest + 1))); };
    const auto timed = [&](const std::string& path, std::map<std::string, std::string> query) {
        HttpRequest r;
        r.method = "GET";
        r.path = path;
        r.query = std::move(query);
        auto answer = std::make_shared<Kept>();
        const auto t0 = Wall::now();
        api.handle(r, answer);
        const double ms = std::chrono::duration<double, std::milli>(Wall::now() - t0).count();
        if (answer->response.status != 200)
            std::fprintf(stderr, "%s: %d %s\n", path.c_str(), answer->response.status, answer->response.body.c_str());
        return ms;
    };
    std::vector<double> first, deep, kinds, timers, clock;
    for (int i = 0; i < queries; ++i) {
        first.push_back(timed("/api/history", {}));
        deep.push_back(timed("/api/history", {{"before", somewhere()}}));
        kinds.push_back(timed("/api/history", {{"kind", "timer"}, {"before", somewhere()}}));
        timers.push_back(timed("/api/history", {{"timer", std::to_string(1 + random() % 5)}}));
    }
    for (int i = 0; i < queries / 10; ++i) clock.push_back(timed("/api/clock", {}));
    const auto row = [](const char* what, const std::vector<double>& v, const char* goal) {
        std::printf("    %-34s p50 %6.2f  p99 %6.2f  max %6.2f ms   %s\n", what, percentile(v, 50), percentile(v, 99),
                    percentile(v, 100), goal);
    };
    std::printf("(2) GET /api/history, 50 entries a page, %d requests each (%lld entries kept):\n", queries, kept);
    row("newest page", first, "(goal p99 <= 20 ms)");
    row("a page before a random entry", deep, "(goal p99 <= 20 ms)");
    row("kind=timer before a random entry", kinds, "(goal p99 <= 20 ms)");
    row("timer=N, newest", timers, "(goal p99 <= 20 ms)");
    std::printf("(3) GET /api/clock, 30 days of drift for the drawing, %zu requests:\n", clock.size());
    row("rate, readings, corrections", clock, "(goal p99 <= 50 ms)");
    journal.stop();
    if (dir.rfind("/tmp/zd-bench-journal-", 0) == 0) (void)!std::system(("rm -rf " + dir).c_str());
    return 0;
}
