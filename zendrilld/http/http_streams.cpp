#include "zendrilld/http/http_streams.h"

#include <algorithm>
#include <cstring>

namespace zd::daemon {

namespace {

std::string event_text(const std::string& event, const std::string& data) {
    return "event: " + event + "\ndata: " + data + "\n\n";
}

}  // namespace

std::size_t EventStream::take(char* buf, std::size_t max) {
    const std::size_t n = std::min(max, backlog.size());
    std::memcpy(buf, backlog.data(), n);
    backlog.erase(0, n);
    return n;
}

std::size_t EventStreams::open_count() const {
    std::size_t n = 0;
    for (const auto& [id, s] : streams_) n += s.ended ? 0 : 1;
    return n;
}

EventStream* EventStreams::open(Id id, const Events& start, const std::string& session) {
    if (open_count() >= kMaxStreams) return nullptr;
    EventStream& s = streams_[id];
    s.session = session;
    // A lost stream is tried again after a second.
    s.backlog = "retry: 1000\n\n";
    for (const auto& [event, data] : start) s.backlog += event_text(event, data);
    return &s;
}

void EventStreams::broadcast(const std::string& event, const std::string& data, const Wake& wake) {
    const std::string text = event_text(event, data);
    for (auto& [id, s] : streams_) {
        if (s.ended) continue;
        if (s.backlog.size() + text.size() > kMaxBacklog)
            s.ended = true;  // a reader that does not read is let go
        else
            s.backlog += text;
        wake(id);
    }
}

void EventStreams::keep_alive(Steady::time_point now, const Wake& wake) {
    if (now < next_keepalive_) return;
    next_keepalive_ = now + kKeepalive;
    for (auto& [id, s] : streams_) {
        if (s.ended) continue;
        // An event, not a comment: EventSource hides comments from the page.
        s.backlog += event_text("alive", "{}");
        wake(id);
    }
}

void EventStreams::end_sessions(const std::function<bool(const std::string&)>& valid, const Wake& wake) {
    for (auto& [id, s] : streams_) {
        if (s.ended || s.session.empty() || valid(s.session)) continue;
        s.ended = true;
        wake(id);
    }
}

void EventStreams::end_all(const Wake& wake) {
    for (auto& [id, s] : streams_) {
        s.ended = true;
        wake(id);
    }
}

}  // namespace zd::daemon
