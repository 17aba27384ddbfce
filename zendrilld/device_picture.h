#pragma once
#include <array>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/json_objects.h"
#include "platform/system.h"
#include "zendrilld/clock_rate.h"
#include "zendrilld/daemon_config.h"
#include "zendrilld/events.h"

// The daemon's one picture of the device, and the doors around it.
//
// The line's thread (LineThread, LineAgent) is the only writer: every status
// and timer read, link change and event lands here first. Each door to the
// outside is a view of this picture and a way into the one request queue
// (LineThread::submit):
//   - mqtt/: publishes every change, turns command topics into requests;
//   - http/: reads snapshots for GET, streams changes as Server-Sent
//     Events, turns bodies into requests;
//   - control/: lends the line to zendrill-cli.
// A new door is a folder of its own: it registers a view with add_view(),
// reads snapshot() and submits what the constructors of requests.h make.
namespace zd::daemon {

enum class LinkState { Offline, Online, Lent };
const char* link_name(LinkState link);  // "offline", "online", "lent"

struct StatusReading {
    std::string record;  // a valid status record
    long long drift_s = 0;  // device clock minus host clock
    LocalTime read_at;
};

struct Picture {
    std::optional<StatusReading> status;
    std::array<std::optional<ListedTimer>, 5> timers;  // nullopt: not read yet
    bool answering = false;  // the device answered the last exchanges
    bool lent = false;       // the line is lent to another program
    std::deque<JsonObject> events;  // the last kMaxEvents, oldest first
    std::string last_reply;         // of the last free command line
    RateEstimate clock_rate;        // how fast the device clock runs
    static constexpr std::size_t kMaxEvents = 50;

    LinkState link() const { return lent ? LinkState::Lent : answering ? LinkState::Online : LinkState::Offline; }
    // Whether the device can be asked something, for a door that queues
    // its commands through a loan: it answered before the loan and will
    // after it, so a loan does not make it unavailable there.
    bool available() const { return answering; }
};

// What changed; a view reads the rest from the picture.
struct Change {
    enum class What {
        Status,     // a new status reading
        Timer,      // `timer` was read, or forgotten (then nullopt)
        Answering,  // the line agent's verdict on the device, told at every change and once at the start
        Link,       // link() changed
        Event,      // `event` was added
        Reply,      // last_reply changed
        ClockRate,  // the estimate says something new
    };
    explicit Change(What w, int t = 0, JsonObject e = JsonObject()) : what(w), timer(t), event(std::move(e)) {}
    What what;
    int timer;
    JsonObject event;
};

// The objects every door shows (UTF-8 JSON): the status object of
// `zendrill-cli status --json` with drift_s and read_at; the timer object of
// `timers list --json` with station_name and summary.
JsonObject state_object(const StatusReading& status, const ValueNames& names);
JsonObject timer_view_object(const ListedTimer& timer, const DaemonConfig& config);
// The clock's rate for every door: {"rate_s_per_day": 1.83 or null,
// "days": 12.4, "text": "Die Geräteuhr geht 1,8 s pro Tag vor"}.
JsonObject clock_rate_object(const RateEstimate& rate);
// "2026-12-09T10:33:11+01:00"
std::string iso_local_time(const LocalTime& t);

// Written on the line's thread only; snapshot() from any thread.
class DevicePicture {
public:
    explicit DevicePicture(const DaemonConfig& config);

    // A door's view: told of every change after the picture holds it, on
    // the line's thread, so it must not block. Add views before the line
    // starts.
    using View = std::function<void(const Picture& now, const Change& change)>;
    void add_view(View view);

    // The line's thread.
    void set_status(const StatusReading& status);
    void set_timer(const ListedTimer& timer);
    // Timer n is not known any more (a write whose outcome is unclear).
    void forget_timer(int n);
    void set_answering(bool answering);
    void set_lent(bool lent);
    void add_event(EventType type, JsonObject fields = JsonObject::object());
    void set_reply(const std::string& reply);
    void set_clock_rate(const RateEstimate& rate);

    Picture snapshot() const;
    LinkState link() const;
    bool answering() const;

private:
    template <typename Write>
    void change(Write write, const Change& change);

    const DaemonConfig& config_;
    std::vector<View> views_;
    mutable std::mutex m_;
    Picture picture_;
    bool rate_told_ = false;
};

}  // namespace zd::daemon
