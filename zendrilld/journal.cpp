#include "zendrilld/journal.h"

#include <fcntl.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "core/utf8.h"
#include "device/clock_math.h"
#include "platform/io_result.h"

namespace zd::daemon {

namespace {

// "ZDJ1": a file of another program is never taken for ours.
constexpr int kApplicationId = 0x5A444A31;
constexpr int kSchemaVersion = 1;
constexpr long long kReopenAfterMs = 30000;
constexpr int kBusyMs = 1000;
constexpr int kReaderBusyMs = 100;
const char* const kDamaged = "die Datei ist beschädigt; sie wird beim nächsten Start beiseitegelegt";

const char* const kSchema = R"(
CREATE TABLE IF NOT EXISTS entries(
  id INTEGER PRIMARY KEY,
  at INTEGER NOT NULL,
  offset_min INTEGER NOT NULL,
  drift INTEGER,
  kind TEXT NOT NULL,
  door TEXT NOT NULL,
  timer INTEGER,
  ok INTEGER NOT NULL,
  before TEXT,
  after TEXT,
  detail TEXT NOT NULL,
  undo_of INTEGER);
CREATE INDEX IF NOT EXISTS entries_kind ON entries(kind, id);
CREATE INDEX IF NOT EXISTS entries_timer ON entries(timer, id);
CREATE INDEX IF NOT EXISTS entries_at ON entries(at);
CREATE TABLE IF NOT EXISTS readings(
  at INTEGER NOT NULL,
  drift INTEGER NOT NULL,
  fresh INTEGER NOT NULL,
  keep INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS readings_at ON readings(at);
CREATE TABLE IF NOT EXISTS known(key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
)";

long long steady_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Why the file failed, in words (Windows-1252).
std::string sqlite_problem(sqlite3* db, int rc) {
    switch (rc & 0xff) {
        case SQLITE_FULL: return io_text::errno_text(ENOSPC);
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return "die Datei ist von einem anderen Programm gesperrt";
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB: return kDamaged;
        case SQLITE_READONLY: return io_text::errno_text(EROFS);
        default: break;
    }
    const int err = db ? sqlite3_system_errno(db) : 0;
    if (err != 0) return io_text::errno_text(err);
    return std::string("SQLite: ") + sqlite3_errstr(rc);
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return rc_ == SQLITE_OK; }
    int rc() const { return rc_; }
    Statement& bind(int i, long long v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Statement& bind(int i, const std::string& v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int i, const std::optional<std::string>& v) {
        if (v) return bind(i, *v);
        sqlite3_bind_null(s_, i);
        return *this;
    }
    Statement& bind(int i, const std::optional<long long>& v) {
        if (v) return bind(i, *v);
        sqlite3_bind_null(s_, i);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return rc_ = ok() || rc_ == SQLITE_ROW || rc_ == SQLITE_DONE ? sqlite3_step(s_) : rc_; }
    void reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    long long integer(int c) const { return sqlite3_column_int64(s_, c); }
    bool null(int c) const { return sqlite3_column_type(s_, c) == SQLITE_NULL; }
    std::string text(int c) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, c));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s_, c))) : std::string();
    }

private:
    sqlite3_stmt* s_ = nullptr;
    int rc_ = SQLITE_OK;
};

int exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// A single value of a pragma or query, "" when it has none.
std::string single(sqlite3* db, const char* sql, int& rc) {
    Statement s(db, sql);
    rc = s.step();
    if (rc == SQLITE_ROW) {
        rc = SQLITE_OK;
        return s.text(0);
    }
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
    return "";
}

std::string from_db(const std::string& utf8) {
    std::string out;
    return utf8_to_1252(utf8, out) ? out : utf8;
}

const char* const kEntryColumns = "id, at, offset_min, drift, kind, door, timer, ok, before, after, detail, undo_of";

JournalEntry entry_of(const Statement& s) {
    JournalEntry e;
    e.id = s.integer(0);
    e.at = s.integer(1);
    e.offset_min = static_cast<int>(s.integer(2));
    if (!s.null(3)) e.drift_s = s.integer(3);
    e.kind = s.text(4);
    e.door = door_by_name(from_db(s.text(5))).value_or(Door::Daemon);
    e.timer = static_cast<int>(s.integer(6));
    e.ok = s.integer(7) != 0;
    if (!s.null(8)) e.before = s.text(8);
    if (!s.null(9)) e.after = s.text(9);
    e.detail = from_db(s.text(10));
    e.undo_of = s.integer(11);
    return e;
}

// "<file>.defekt-2026-12-10", with "-2", "-3" … when that exists.
std::string aside_name(const std::string& path, const LocalTime& t) {
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", t.year, t.month, t.day);
    std::string name = path + ".defekt-" + date;
    struct stat st {};
    for (int n = 2; ::lstat(name.c_str(), &st) == 0 && n < 1000; ++n)
        name = path + ".defekt-" + date + "-" + std::to_string(n);
    return name;
}

bool has_sqlite_header(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    char head[16] = {};
    const ssize_t n = ::read(fd, head, sizeof head);
    ::close(fd);
    return n == 16 && std::memcmp(head, "SQLite format 3", 16) == 0;
}

}  // namespace

long long unix_seconds(const LocalTime& t) {
    // civil_seconds counts from 2000-01-01, 946684800 s after 1970.
    return civil_seconds(t.year, t.month, t.day, t.hour, t.minute, t.second) + 946684800LL - t.utc_offset_min * 60LL;
}

JournalEntry journal_entry(System& sys, const char* kind, Door door) {
    const LocalTime now = sys.local_time();
    JournalEntry e;
    e.at = unix_seconds(now);
    e.offset_min = now.utc_offset_min;
    e.kind = kind;
    e.door = door;
    return e;
}

namespace {
const char* const kKinds[] = {kind::kTimer, kind::kSettings, kind::kIr,   kind::kClock,
                              kind::kRaw,   kind::kCommand,  kind::kLink, kind::kDaemon};
}  // namespace

bool is_journal_kind(const std::string& n) {
    for (const char* k : kKinds)
        if (n == k) return true;
    return false;
}

std::string journal_kinds_text() {
    std::string out;
    for (const char* k : kKinds) out += (out.empty() ? "" : ", ") + std::string(k);
    return out;
}

std::string unavailable_text(const std::string& why) { return "Verlauf nicht verfügbar: " + why; }

Journal::Journal(std::string path, Log& log) : path_(std::move(path)), log_(log) {}

Journal::~Journal() {
    stop();
    if (reader_) sqlite3_close(reader_);
}

void Journal::start(const LocalTime& today) {
    open_writer(&today);
    thread_ = std::thread([this] { run(); });
}

void Journal::stop() {
    if (!thread_.joinable()) return;
    Item stop;
    stop.type = Item::Type::Stop;
    // A full inbox still ends: the thread looks at the flag after each batch.
    stopping_ = true;
    inbox_.post(std::move(stop));
    thread_.join();
    inbox_.close();
    close_writer();
}

void Journal::post(Item item) {
    {
        std::lock_guard<std::mutex> lock(m_);
        ++posted_;
    }
    if (inbox_.post(std::move(item))) return;
    std::lock_guard<std::mutex> lock(m_);
    ++done_;
    ++lost_;
    cv_.notify_all();
}

void Journal::add(JournalEntry entry) {
    Item i;
    i.entry = std::move(entry);
    post(std::move(i));
}

void Journal::add(const ClockReading& reading) {
    Item i;
    i.type = Item::Type::Reading;
    i.reading = reading;
    post(std::move(i));
}

void Journal::remember(const std::string& key, const std::string& value) {
    Item i;
    i.type = Item::Type::Known;
    i.key = key;
    i.value = value;
    post(std::move(i));
}

void Journal::flush() {
    if (!thread_.joinable()) return;
    std::unique_lock<std::mutex> lock(m_);
    const unsigned long long target = posted_;
    cv_.wait(lock, [&] { return done_ >= target; });
}

std::string Journal::problem() const {
    std::lock_guard<std::mutex> lock(m_);
    return problem_;
}

void Journal::on_written(std::function<void(long long)> told) {
    std::lock_guard<std::mutex> lock(m_);
    told_ = std::move(told);
}

void Journal::fail(const std::string& why, bool for_good) {
    if (for_good) {
        broken_ = true;
        close_writer();
    }
    {
        std::lock_guard<std::mutex> lock(m_);
        problem_ = why;
    }
    if (why != logged_problem_) log_.line(unavailable_text(why) + " (" + path_ + ")");
    logged_problem_ = why;
}

void Journal::close_writer() {
    if (db_) exec(db_, "PRAGMA wal_checkpoint(TRUNCATE)");
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
}

bool Journal::open_writer(const LocalTime* today) {
    next_open_ms_ = steady_ms() + kReopenAfterMs;
    struct stat st {};
    const bool there = ::lstat(path_.c_str(), &st) == 0;
    if (there && !S_ISREG(st.st_mode)) {
        // A link, a device, a FIFO: not a file of ours to write through.
        fail(S_ISLNK(st.st_mode) ? "die Datei ist ein symbolischer Verweis" : "das ist keine gewöhnliche Datei", true);
        return false;
    }
    const bool existed = there && st.st_size > 0;
    if (!there) {
        // SQLite would name only its fallback's failure: say why no file can be made here.
        const auto slash = path_.rfind('/');
        const std::string dir = slash == 0 ? "/" : path_.substr(0, slash);
        if (::access(dir.c_str(), W_OK) != 0) {
            fail(dir + ": " + io_text::errno_text(errno));
            return false;
        }
    }
    int rc = sqlite3_open_v2(path_.c_str(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        const std::string why = sqlite_problem(db_, rc);
        close_writer();
        fail(why);
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyMs);
    sqlite3_extended_result_codes(db_, 1);
    std::string check;
    if (existed) {
        check = single(db_, "PRAGMA quick_check", rc);
        if (rc == SQLITE_OK && check == "ok") {
            const std::string id = single(db_, "PRAGMA application_id", rc);
            if (rc == SQLITE_OK && id != std::to_string(kApplicationId)) {
                close_writer();
                fail("die Datei gehört nicht zu zendrilld; sie bleibt unangetastet", true);
                return false;
            }
        }
    }
    const bool damaged = existed && ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB ||
                                     (rc == SQLITE_OK && check != "ok"));
    if (damaged) {
        close_writer();
        if (!today || !has_sqlite_header(path_)) {
            fail(today ? "die Datei ist keine Datenbank von zendrilld; sie bleibt unangetastet"
                       : kDamaged,
                 true);
            return false;
        }
        const std::string aside = aside_name(path_, *today);
        if (::rename(path_.c_str(), aside.c_str()) != 0) {
            fail("die beschädigte Datei lässt sich nicht beiseitelegen: " + io_text::errno_text(errno), true);
            return false;
        }
        // Its write-ahead log belongs to it, never to the new file.
        ::rename((path_ + "-wal").c_str(), (aside + "-wal").c_str());
        ::unlink((path_ + "-shm").c_str());
        log_.line("Verlauf: " + path_ + " ist beschädigt und liegt nun als " + aside + "; ein neuer wird begonnen");
        return open_writer(nullptr);
    }
    if (rc != SQLITE_OK) {
        const std::string why = sqlite_problem(db_, rc);
        close_writer();
        fail(why);
        return false;
    }
    // New files shrink when old entries go; WAL lets the page read while
    // the line writes, and NORMAL loses at most the last batch on a power cut.
    if (!existed) exec(db_, "PRAGMA auto_vacuum = INCREMENTAL");
    const std::string mode = single(db_, "PRAGMA journal_mode = WAL", rc);
    if (rc == SQLITE_OK) rc = exec(db_, "PRAGMA synchronous = NORMAL; PRAGMA journal_size_limit = 524288");
    if (rc == SQLITE_OK) rc = exec(db_, kSchema);
    if (rc == SQLITE_OK && !existed)
        rc = exec(db_, ("PRAGMA application_id = " + std::to_string(kApplicationId) +
                        "; PRAGMA user_version = " + std::to_string(kSchemaVersion))
                           .c_str());
    if (rc != SQLITE_OK || mode != "wal") {
        const std::string why = rc != SQLITE_OK ? sqlite_problem(db_, rc) : "die Datei lässt kein Write-Ahead-Log zu";
        close_writer();
        const bool damaged_now = (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB;
        fail(why, damaged_now);
        return false;
    }
    ::chmod(path_.c_str(), 0640);
    {
        std::lock_guard<std::mutex> lock(m_);
        problem_.clear();
    }
    if (!logged_problem_.empty()) log_.line("Verlauf wieder verfügbar (" + path_ + ")");
    logged_problem_.clear();
    return true;
}

void Journal::run() {
    for (;;) {
        pollfd p{inbox_.fd(), POLLIN, 0};
        ::poll(&p, 1, 60000);
        std::deque<Item> items = inbox_.take();
        bool stop = false;
        for (const Item& i : items) stop = stop || i.type == Item::Type::Stop;
        const std::size_t count = items.size();
        if (count > 0) write(items);
        {
            std::lock_guard<std::mutex> lock(m_);
            done_ += count;
            cv_.notify_all();
        }
        if (stop || stopping_) break;
    }
    std::lock_guard<std::mutex> lock(m_);
    done_ = posted_;
    cv_.notify_all();
}

void Journal::write(std::deque<Item>& items) {
    if (!db_ && !broken_ && steady_ms() >= next_open_ms_) open_writer(nullptr);
    std::size_t real = 0;
    for (const Item& i : items) real += i.type != Item::Type::Stop;
    const auto lose = [&](int rc) {
        if (db_) exec(db_, "ROLLBACK");
        {
            std::lock_guard<std::mutex> lock(m_);
            lost_ += real;
        }
        if (rc != SQLITE_OK) {
            const int base = rc & 0xff;
            fail(sqlite_problem(db_, rc), base == SQLITE_CORRUPT || base == SQLITE_NOTADB);
        }
    };
    if (!db_) return lose(SQLITE_OK);
    int rc = exec(db_, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return lose(rc);
    Statement entry(db_, "INSERT INTO entries(at, offset_min, drift, kind, door, timer, ok, before, after, detail, undo_of)"
                         " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
    Statement reading(db_, "INSERT INTO readings(at, drift, fresh, keep) VALUES(?1, ?2, ?3, ?4)");
    Statement known(db_, "INSERT OR REPLACE INTO known(key, value) VALUES(?1, ?2)");
    if (!entry.ok() || !reading.ok() || !known.ok()) return lose(!entry.ok() ? entry.rc() : !reading.ok() ? reading.rc() : known.rc());
    long long newest_at = 0, newest_id = 0;
    for (const Item& i : items) {
        Statement* s = nullptr;
        switch (i.type) {
            case Item::Type::Entry: {
                const JournalEntry& e = i.entry;
                entry.bind(1, e.at).bind(2, e.offset_min).bind(3, e.drift_s).bind(4, e.kind);
                entry.bind(5, utf8_from_1252(door_name(e.door)));
                if (e.timer > 0) entry.bind(6, e.timer);
                entry.bind(7, e.ok ? 1 : 0).bind(8, e.before).bind(9, e.after).bind(10, utf8_from_1252(e.detail));
                if (e.undo_of > 0) entry.bind(11, e.undo_of);
                newest_at = std::max(newest_at, e.at);
                s = &entry;
                break;
            }
            case Item::Type::Reading:
                reading.bind(1, i.reading.at).bind(2, i.reading.drift_s).bind(3, i.reading.fresh ? 1 : 0);
                reading.bind(4, i.reading.keep || i.reading.fresh ? 1 : 0);
                newest_at = std::max(newest_at, i.reading.at);
                s = &reading;
                break;
            case Item::Type::Known:
                known.bind(1, i.key).bind(2, i.value);
                s = &known;
                break;
            case Item::Type::Stop: continue;
        }
        rc = s->step();
        s->reset();
        if (rc != SQLITE_DONE) return lose(rc);
        if (s == &entry) newest_id = sqlite3_last_insert_rowid(db_);
    }
    maintain(newest_at);
    rc = exec(db_, "COMMIT");
    if (rc != SQLITE_OK) return lose(rc);
    if (!logged_problem_.empty()) {
        {
            std::lock_guard<std::mutex> lock(m_);
            problem_.clear();
        }
        log_.line("Verlauf wieder verfügbar (" + path_ + ")");
        logged_problem_.clear();
    }
    std::function<void(long long)> told;
    {
        std::lock_guard<std::mutex> lock(m_);
        told = told_;
    }
    // Readings alone are no news for the history.
    if (told && newest_id > 0) told(newest_id);
}

void Journal::maintain(long long newest_at) {
    // Once an hour of the journal's own time, so virtual years age it too.
    if (newest_at < next_maintenance_at_) return;
    next_maintenance_at_ = newest_at + 3600;
    // Readings older than a week: the first of each hour and those that
    // tell the clock's rate; hours never straddle two passes.
    const long long week = (newest_at - kKeepAllReadingsS) / 3600 * 3600;
    if (week > thinned_until_) {
        Statement thin(db_,
                       "DELETE FROM readings WHERE at >= ?1 AND at < ?2 AND keep = 0 AND rowid NOT IN "
                       "(SELECT MIN(rowid) FROM readings WHERE at >= ?1 AND at < ?2 GROUP BY at / 3600)");
        thin.bind(1, thinned_until_).bind(2, week).step();
        thinned_until_ = week;
    }
    Statement(db_, "DELETE FROM readings WHERE at < ?1").bind(1, newest_at - kKeepReadingsS).step();
    Statement(db_, "DELETE FROM entries WHERE at < ?1").bind(1, newest_at - kKeepEntriesS).step();
    Statement(db_, "DELETE FROM entries WHERE id <= (SELECT MAX(id) FROM entries) - ?1").bind(1, kMaxEntries).step();
    exec(db_, "PRAGMA incremental_vacuum");
}

bool Journal::open_reader(std::string& problem) {
    problem = this->problem();
    if (!problem.empty()) return false;
    if (reader_) return true;
    const int rc = sqlite3_open_v2(path_.c_str(), &reader_,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        problem = sqlite_problem(reader_, rc);
        sqlite3_close(reader_);
        reader_ = nullptr;
        return false;
    }
    // The page's thread waits on no other program for long.
    sqlite3_busy_timeout(reader_, kReaderBusyMs);
    return true;
}

bool Journal::history(const HistoryQuery& q, HistoryPage& page, std::string& problem) {
    std::lock_guard<std::mutex> lock(read_m_);
    page = HistoryPage{};
    if (!open_reader(problem)) return false;
    const std::string sql = std::string("SELECT ") + kEntryColumns +
                            " FROM entries WHERE id < ?1 AND (?2 = '' OR kind = ?2) AND (?3 = 0 OR timer = ?3)"
                            " ORDER BY id DESC LIMIT ?4";
    Statement s(reader_, sql.c_str());
    s.bind(1, q.before > 0 ? q.before : (1LL << 62)).bind(2, q.kind).bind(3, q.timer).bind(4, q.limit + 1);
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) page.entries.push_back(entry_of(s));
    if (rc != SQLITE_DONE) {
        problem = sqlite_problem(reader_, rc);
        return false;
    }
    if (page.entries.size() > static_cast<std::size_t>(q.limit)) {
        page.entries.pop_back();
        page.more = true;
    }
    return true;
}

std::optional<JournalEntry> Journal::entry(long long id) {
    std::lock_guard<std::mutex> lock(read_m_);
    std::string problem;
    if (!open_reader(problem)) return std::nullopt;
    Statement s(reader_, (std::string("SELECT ") + kEntryColumns + " FROM entries WHERE id = ?1").c_str());
    s.bind(1, id);
    if (s.step() != SQLITE_ROW) return std::nullopt;
    return entry_of(s);
}

bool Journal::clock_history(long long since, long long bucket_s, std::vector<ClockReading>& readings,
                            std::vector<JournalEntry>& clock_entries, std::string& problem) {
    std::lock_guard<std::mutex> lock(read_m_);
    readings.clear();
    clock_entries.clear();
    if (!open_reader(problem)) return false;
    // The last reading of each bucket: the bare columns come from the MAX row.
    Statement r(reader_, "SELECT MAX(at), drift, fresh FROM readings WHERE at >= ?1 GROUP BY at / ?2 ORDER BY 1");
    r.bind(1, since).bind(2, bucket_s < 1 ? 1 : bucket_s);
    int rc;
    while ((rc = r.step()) == SQLITE_ROW) readings.push_back({r.integer(0), r.integer(1), r.integer(2) != 0, false});
    if (rc != SQLITE_DONE) {
        problem = sqlite_problem(reader_, rc);
        return false;
    }
    Statement c(reader_, (std::string("SELECT ") + kEntryColumns +
                          " FROM entries WHERE kind = 'clock' AND at >= ?1 ORDER BY id")
                             .c_str());
    c.bind(1, since);
    while ((rc = c.step()) == SQLITE_ROW) clock_entries.push_back(entry_of(c));
    if (rc != SQLITE_DONE) {
        problem = sqlite_problem(reader_, rc);
        return false;
    }
    return true;
}

JournalMemory Journal::memory(long long now) {
    JournalMemory m;
    std::lock_guard<std::mutex> lock(read_m_);
    std::string problem;
    if (!open_reader(problem)) return m;
    Statement r(reader_, "SELECT at, drift, fresh, keep FROM readings WHERE at >= ?1 ORDER BY at, rowid");
    r.bind(1, now - 30LL * 86400);
    while (r.step() == SQLITE_ROW) m.readings.push_back({r.integer(0), r.integer(1), r.integer(2) != 0, r.integer(3) != 0});
    Statement k(reader_, "SELECT key, value FROM known");
    while (k.step() == SQLITE_ROW) m.known[k.text(0)] = k.text(1);
    return m;
}

}  // namespace zd::daemon
