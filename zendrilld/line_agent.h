#pragma once
#include <array>
#include <atomic>
#include <optional>
#include <functional>
#include <string>

#include "core/json_objects.h"
#include "device/link.h"
#include "platform/system.h"
#include "zendrilld/clock_rate.h"
#include "zendrilld/daemon_config.h"
#include "zendrilld/device_picture.h"
#include "zendrilld/journal.h"
#include "zendrilld/log.h"
#include "zendrilld/requests.h"

namespace zd::daemon {

// The daemon's work on the line, one piece at a time, on the line's thread:
// status polls with clock keeping, timer polls, people's requests. Every
// exchange goes through the shared device and core functions. What it
// learns goes into the picture; what it does goes into the log and, with a
// journal, what changed on the device and who changed it into the journal.
// Called on the line's thread only, but for request_stop().
class LineAgent {
public:
    LineAgent(const DaemonConfig& config, System& sys, Clock& clock, DevicePicture& picture, Log& log,
              Journal* journal = nullptr);
    // What the journal remembers from before: the device state it last
    // knew (a change found against it is the device's) and the clock's
    // readings. Before the line starts.
    void remember(const JournalMemory& memory);

    void attach(SerialPort* port);  // the port is open
    void detach();                  // it is closed (loan, lost, end)
    bool attached() const { return link_.port != nullptr; }
    // The open port hung up: reads and writes fail until it is opened again.
    bool port_gone() const { return link_.port && link_.port->is_gone(); }

    // One status poll; true for a valid record. Two failures in a row take
    // the link down, the next valid record brings it back. A write the
    // device did not take (XOFF past its deadline) is a failure too, in any
    // exchange; a record that follows such a write right away is published
    // but neither clears the failures nor brings the link back.
    bool read_status();
    void read_timers();
    // What the request came to. A reply that wants it as soon as it is
    // known has it from here; the caller hands it to one that waits until
    // the state is read back.
    Outcome run(const Request& request);
    // A request that cannot be run (the same rule for its reply).
    Outcome refuse(const Request& request, const std::string& why,
                   Outcome::Kind kind = Outcome::Kind::Unavailable);
    // The link counts as down at once (the port went away).
    void lose_link(const std::string& why);

    void lent(bool lent);
    // A request the queue answered without running it. Any thread.
    void refused_unrun(const Request& request, const std::string& why);
    // The agent's verdict, as the picture holds it.
    bool link_up() const { return picture_.answering(); }

    // From any thread: the exchange in flight ends at once and no further
    // one starts, so the line's thread can end.
    void request_stop();

private:
    // Pauses in short slices, so that a stop request ends them early.
    class StoppableClock : public Clock {
    public:
        StoppableClock(Clock& base, const std::atomic<bool>& stop) : base_(base), stop_(stop) {}
        void pause_ms(int ms) override;
        long long now_ms() override { return base_.now_ms(); }

    private:
        Clock& base_;
        const std::atomic<bool>& stop_;
    };

    void status_failed(const std::string& problem);
    void exchanges_failed(int count);
    // Counts the writes that did not go out since the last look as failed
    // exchanges; how many there were.
    int unsent_writes();
    // The running command's writes all went out.
    bool command_sent() const { return command_mark_ < 0 || writes_.failed == command_mark_; }
    // True when the status is to be read after it.
    bool run_command(const Request& request);
    // Down, once: link "offline" and, when it was up, `lost` logged and a
    // link_lost event.
    void link_down(const std::string& lost, const std::string& reason);
    // True when the record may count for the link (see read_status).
    bool status_read(const std::string& record);
    void keep_clock(long long drift_s);
    // `request` null: the automatic sync, which only logs.
    void sync_clock(const Request* request, bool has_drift, long long drift_s);
    void event(EventType type, JsonObject fields = JsonObject::object());
    void result(const Request& request, Outcome outcome);
    void log(const std::string& line);
    ListedTimer read_one_timer(int n);
    // Every timer, status and clock reading passes here: the picture gets
    // it, the journal what changed against what was known before.
    void timer_seen(const ListedTimer& t);
    void state_seen(const std::string& record, const LocalTime& at);
    // The door a change of `what` (a kind, timer n) came through: the
    // running request's when it touches that, else the device's.
    Door door_of(const char* what, int n) const;
    void note(JournalEntry e);
    JournalEntry entry(const char* what, Door door);
    // The timers the picture does not know (a first read or a write that
    // failed), read as soon as the device answers again.
    void read_unknown_timers();

    const DaemonConfig& config_;
    System& sys_;
    std::atomic<bool> stopping_{false};
    StoppableClock clock_;
    DevicePicture& picture_;
    Log& log_;
    DeviceLink link_;
    WriteCheck writes_;     // since the port was attached
    int counted_unsent_ = 0;  // of writes_.failed, those already counted against the link
    int command_mark_ = -1;   // writes_.failed when the running command began; -1: none runs
    ValueNames names_ = make_value_names();
    std::string last_problem_;  // what was wrong with the last status read
    bool has_drift_ = false;
    long long last_drift_s_ = 0;
    int failed_reads_ = 0;
    bool timers_tried_ = false;  // a timer poll has run
    bool link_was_lost_ = false;
    bool link_announced_ = false;
    long long next_sync_ms_ = 0;  // on the clock: no automatic sync before
    Outcome outcome_;  // of the request running
    Journal* journal_;
    // What the journal last knew of the device: the picture forgets a
    // timer whose write is unclear, the journal compares with the last seen.
    std::array<std::optional<std::string>, 5> known_timers_;
    std::optional<std::string> known_settings_, known_ir_;
    const Request* changing_ = nullptr;  // the request whose changes are being made
    // A write whose outcome was unclear, per timer, until the timer is read again.
    struct Unclear {
        std::string record;
        Door asker;
        long long undo_of;
    };
    std::array<std::optional<Unclear>, 5> unclear_;
    ClockRate rate_;
    bool fresh_reading_ = true;  // the next reading starts a stretch
};

}  // namespace zd::daemon
