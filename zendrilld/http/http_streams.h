#pragma once
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "zendrilld/steady.h"

// The open Server-Sent Event streams: what each has still to send, and the
// bounds on them. No library in here; the server wakes the connections
// named back to it and feeds each stream's text to its reader.
namespace zd::daemon {

// One open stream; the HTTP thread's, like EventStreams.
struct EventStream {
    std::string backlog;  // events not yet sent
    bool ended = false;   // to end once the backlog is out
    std::string session;  // the login it belongs to; "" none
    // Up to `max` bytes of the backlog into `buf`: how many.
    std::size_t take(char* buf, std::size_t max);
};

// Called on the HTTP thread only; `wake` runs there, inside the call.
class EventStreams {
public:
    using Id = unsigned long long;
    using Wake = std::function<void(Id)>;
    using Events = std::vector<std::pair<std::string, std::string>>;

    static constexpr std::size_t kMaxStreams = 32;
    // A stream whose reader does not keep up is closed rather than buffered.
    static constexpr std::size_t kMaxBacklog = 256 * 1024;
    static constexpr std::chrono::seconds kKeepalive{15};

    // A new stream that starts with `start`, of the login `session` ("":
    // none); null when kMaxStreams are open.
    EventStream* open(Id id, const Events& start, const std::string& session = "");
    // Its connection is gone.
    void forget(Id id) { streams_.erase(id); }

    // One event to every open stream; `wake` for each.
    void broadcast(const std::string& event, const std::string& data, const Wake& wake);
    // An event the page sees (a comment it would not) to every open stream
    // when one is due at `now`: a stream quiet for longer is dead.
    void keep_alive(Steady::time_point now, const Wake& wake);
    Steady::time_point next_keep_alive() const { return next_keepalive_; }
    void start_keep_alive(Steady::time_point now) { next_keepalive_ = now + kKeepalive; }
    // Every stream ends once its backlog is out; `wake` for each.
    void end_all(const Wake& wake);
    // The streams of a login that no longer holds: `valid` says which do.
    void end_sessions(const std::function<bool(const std::string& session)>& valid, const Wake& wake);

    std::size_t open_count() const;

private:
    std::map<Id, EventStream> streams_;
    Steady::time_point next_keepalive_{};
};

}  // namespace zd::daemon
