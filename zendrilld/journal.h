#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"
#include "zendrilld/handoff.h"
#include "zendrilld/log.h"
#include "zendrilld/requests.h"

struct sqlite3;

// The daemon's memory: what happened to the device, kept in an SQLite file
// across restarts. Entries come from the line's thread (and the main
// thread at start and end) and are written on the journal's own thread, so
// a slow or failing disk never holds up an exchange; the doors read it.
namespace zd::daemon {

// What an entry is about; the filter of the history uses these names.
namespace kind {
constexpr const char* kTimer = "timer";        // a timer changed (before/after: records, "" empty)
constexpr const char* kSettings = "settings";  // the four setting codes changed
constexpr const char* kIr = "ir";              // the IR receiver ("0" on, "1" off)
constexpr const char* kClock = "clock";        // set or shifted (before/after: drift in s)
constexpr const char* kRaw = "raw";            // a free command line and its reply
constexpr const char* kCommand = "command";    // a command refused or failed
constexpr const char* kLink = "link";          // the device lost, back, lent, returned
constexpr const char* kDaemon = "daemon";      // zendrilld started or ended
}  // namespace kind
bool is_journal_kind(const std::string& name);
// "timer, settings, …": every kind, for a message that lists them.
std::string journal_kinds_text();
// What the page and the log say when there is no history: "Verlauf nicht
// verfügbar: <why>" (Windows-1252).
std::string unavailable_text(const std::string& why);

// Unix seconds of a host time.
long long unix_seconds(const LocalTime& t);

struct JournalEntry {
    long long id = 0;        // given when written
    long long at = 0;        // host time, Unix seconds
    int offset_min = 0;      // the host's UTC offset then
    std::optional<long long> drift_s;  // device minus host then, when known
    std::string kind;
    Door door = Door::Daemon;
    int timer = 0;           // 1..5 for what concerns one timer
    bool ok = true;
    std::optional<std::string> before, after;
    std::string detail;      // Windows-1252: a reason, a command, a reply
    long long undo_of = 0;   // the entry this one took back
};

// An entry of `kind` through `door` at the host's time now.
JournalEntry journal_entry(System& sys, const char* kind, Door door);

// A status poll's look at the device clock.
struct ClockReading {
    long long at = 0;  // Unix seconds
    long long drift_s = 0;
    bool fresh = false;  // the first after the clock was set, moved or the line came back
    bool keep = false;   // kept beyond a week (starts a stretch, shows a new level)
};

struct HistoryQuery {
    long long before = 0;  // entries with smaller ids; 0: from the newest
    int limit = 50;
    std::string kind;      // "" any
    int timer = 0;         // 0 any
};
struct HistoryPage {
    std::vector<JournalEntry> entries;  // newest first
    bool more = false;
};

// What the journal remembers for the next start: the clock readings of
// the last 30 days and the device state it last knew.
struct JournalMemory {
    std::vector<ClockReading> readings;  // oldest first
    std::map<std::string, std::string> known;
};

// add()/remember() from any thread, never waiting for the disk; readers
// from any thread (one reader at a time); the callback of on_written runs on
// the journal's thread.
class Journal {
public:
    static constexpr std::size_t kMaxWaiting = 20000;
    static constexpr long long kKeepAllReadingsS = 7LL * 86400;
    static constexpr long long kKeepReadingsS = 3LL * 365 * 86400 + 86400;
    static constexpr long long kKeepEntriesS = 10LL * 365 * 86400 + 3 * 86400;
    static constexpr long long kMaxEntries = 50000;

    Journal(std::string path, Log& log);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Opens the file (a damaged one is moved aside as "<file>.defekt-<date>"
    // first) and starts the writer; `today` names the moved file. A file it
    // cannot use leaves the journal unavailable, never the daemon.
    void start(const LocalTime& today);
    // Writes what waits and closes the file.
    void stop();

    void add(JournalEntry entry);
    void add(const ClockReading& reading);
    void remember(const std::string& key, const std::string& value);
    // Waits until everything added before is written or given up.
    void flush();
    // Why nothing is written or read, Windows-1252; "" while it works.
    std::string problem() const;
    // Told after each batch is written, with the newest id.
    void on_written(std::function<void(long long newest_id)> told);

    bool history(const HistoryQuery& q, HistoryPage& page, std::string& problem);
    std::optional<JournalEntry> entry(long long id);
    // Clock entries and readings since `since` (Unix seconds), readings one
    // per `bucket_s` at most (the last of each), oldest first.
    bool clock_history(long long since, long long bucket_s, std::vector<ClockReading>& readings,
                       std::vector<JournalEntry>& clock_entries, std::string& problem);
    JournalMemory memory(long long now);
    const std::string& path() const { return path_; }

private:
    struct Item {
        enum class Type { Entry, Reading, Known, Stop } type = Type::Entry;
        JournalEntry entry;
        ClockReading reading;
        std::string key, value;
    };
    void post(Item item);
    void run();
    bool open_writer(const LocalTime* today);
    void write(std::deque<Item>& items);
    void maintain(long long newest_at);
    void fail(const std::string& why, bool for_good = false);
    void close_writer();
    bool open_reader(std::string& problem);

    const std::string path_;
    Log& log_;
    Handoff<Item> inbox_{kMaxWaiting};
    std::thread thread_;
    sqlite3* db_ = nullptr;  // the writer's, on the journal's thread
    std::atomic<bool> stopping_{false};
    bool broken_ = false;    // damaged while running: left alone until the next start
    long long next_open_ms_ = 0;
    long long next_maintenance_at_ = 0;
    long long thinned_until_ = 0;
    std::string logged_problem_;
    std::function<void(long long)> told_;

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::string problem_;
    unsigned long long posted_ = 0, done_ = 0;
    unsigned long long lost_ = 0;  // not written: the inbox full or the file failing

    std::mutex read_m_;
    sqlite3* reader_ = nullptr;
};

}  // namespace zd::daemon
