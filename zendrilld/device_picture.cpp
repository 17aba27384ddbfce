#include "zendrilld/device_picture.h"

#include "core/utf8.h"
#include "device/text_util.h"

namespace zd::daemon {

const char* link_name(LinkState link) {
    switch (link) {
        case LinkState::Online: return "online";
        case LinkState::Lent: return "lent";
        case LinkState::Offline: break;
    }
    return "offline";
}

std::string iso_local_time(const LocalTime& t) {
    const int offset = t.utc_offset_min;
    const int a = offset < 0 ? -offset : offset;
    return std::to_string(t.year) + "-" + two_digit(t.month) + "-" + two_digit(t.day) + "T" + two_digit(t.hour) +
           ":" + two_digit(t.minute) + ":" + two_digit(t.second) + (offset < 0 ? "-" : "+") + two_digit(a / 60) +
           ":" + two_digit(a % 60);
}

JsonObject state_object(const StatusReading& s, const ValueNames& names) {
    JsonObject j = status_object(s.record, names);
    j["drift_s"] = s.drift_s;
    j["read_at"] = iso_local_time(s.read_at);
    return j;
}

JsonObject timer_view_object(const ListedTimer& t, const DaemonConfig& config) {
    JsonObject j = timer_object(t);
    const std::string station = timer_station_name(t, config.stations);
    j["station_name"] = station.empty() ? JsonObject(nullptr) : JsonObject(utf8_from_1252(station));
    j["summary"] = utf8_from_1252(timer_summary(t, config.stations));
    return j;
}

DevicePicture::DevicePicture(const DaemonConfig& config) : config_(config) {}

void DevicePicture::add_view(AgentOutput view, std::function<void(LinkState)> link_state) {
    views_.push_back({std::move(view), std::move(link_state)});
}

Picture DevicePicture::snapshot() const {
    std::lock_guard<std::mutex> lock(m_);
    return picture_;
}

void DevicePicture::set_link(LinkState link) {
    {
        std::lock_guard<std::mutex> lock(m_);
        if (picture_.link == link) return;
        picture_.link = link;
    }
    for (const View& v : views_)
        if (v.link_state) v.link_state(link);
}

void DevicePicture::set_lent(bool lent) {
    lent_ = lent;
    set_link(lent_ ? LinkState::Lent : link_up_ ? LinkState::Online : LinkState::Offline);
}

AgentOutput DevicePicture::agent_output() {
    AgentOutput out;
    out.state = [this](const std::string& record, long long drift_s, const LocalTime& at) {
        {
            std::lock_guard<std::mutex> lock(m_);
            picture_.status = StatusReading{record, drift_s, at};
        }
        for (const View& v : views_)
            if (v.out.state) v.out.state(record, drift_s, at);
    };
    out.timer = [this](const ListedTimer& t) {
        if (t.timer < 1 || t.timer > 5) return;
        {
            std::lock_guard<std::mutex> lock(m_);
            picture_.timers[static_cast<std::size_t>(t.timer - 1)] = t;
        }
        for (const View& v : views_)
            if (v.out.timer) v.out.timer(t);
    };
    out.link = [this](bool up) {
        link_up_ = up;
        for (const View& v : views_)
            if (v.out.link) v.out.link(up);
        if (!lent_) set_link(up ? LinkState::Online : LinkState::Offline);
    };
    out.event = [this](const JsonObject& e) {
        {
            std::lock_guard<std::mutex> lock(m_);
            picture_.events.push_back(e);
            if (picture_.events.size() > Picture::kMaxEvents) picture_.events.pop_front();
        }
        for (const View& v : views_)
            if (v.out.event) v.out.event(e);
    };
    out.result = [this](const Request& r, const Outcome& o) {
        for (const View& v : views_)
            if (v.out.result) v.out.result(r, o);
    };
    out.raw_reply = [this](const std::string& reply) {
        {
            std::lock_guard<std::mutex> lock(m_);
            picture_.last_reply = reply;
        }
        for (const View& v : views_)
            if (v.out.raw_reply) v.out.raw_reply(reply);
    };
    out.lent = [this](bool lent) { set_lent(lent); };
    out.log = [this](const std::string& line) {
        for (const View& v : views_)
            if (v.out.log) v.out.log(line);
    };
    return out;
}

}  // namespace zd::daemon
