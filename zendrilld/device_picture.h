#pragma once
#include <array>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/json_objects.h"
#include "zendrilld/daemon_config.h"
#include "zendrilld/line_agent.h"

// The daemon's one picture of the device, and the doors around it.
//
// The line's thread (LineThread, LineAgent) is the only writer: every status
// and timer read, link change and event lands here first. Each door to the
// outside is a view of this picture and a way into the one request queue
// (LineThread::submit):
//   - MQTT (Bridge): publishes every change, turns command topics into
//     requests;
//   - HTTP (HttpApi behind HttpServer): reads snapshots for GET, streams
//     changes as Server-Sent Events, turns bodies into requests.
// A third door (another bridge) registers its AgentOutput with add_view(),
// reads snapshot() and submits Requests built by the checks in requests.h.
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
    LinkState link = LinkState::Offline;
    std::deque<JsonObject> events;  // the last kMaxEvents, oldest first
    std::string last_reply;         // of the last free command line
    static constexpr std::size_t kMaxEvents = 50;
};

// The objects every door shows (UTF-8 JSON): the status object of
// `zendrill-cli status --json` with drift_s and read_at; the timer object of
// `timers list --json` with station_name and summary.
JsonObject state_object(const StatusReading& status, const ValueNames& names);
JsonObject timer_view_object(const ListedTimer& timer, const DaemonConfig& config);
// "2026-12-09T10:33:11+01:00"
std::string iso_local_time(const LocalTime& t);

class DevicePicture {
public:
    explicit DevicePicture(const DaemonConfig& config);

    // A door's view: told of every change after the picture holds it, on
    // the line's thread, so it must not block. Add views before the line
    // starts.
    void add_view(AgentOutput view, std::function<void(LinkState)> link_state = {});
    // What the LineAgent writes to.
    AgentOutput agent_output();
    // The line lent to another program, or taken back (from the line's thread).
    void set_lent(bool lent);

    Picture snapshot() const;

private:
    void set_link(LinkState link);

    const DaemonConfig& config_;
    struct View {
        AgentOutput out;
        std::function<void(LinkState)> link_state;
    };
    std::vector<View> views_;
    mutable std::mutex m_;
    Picture picture_;
    bool link_up_ = false;  // what the agent said last
    bool lent_ = false;
};

}  // namespace zd::daemon
