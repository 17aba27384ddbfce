#include "zendrilld/device_picture.h"

#include <cmath>

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

JsonObject clock_rate_object(const RateEstimate& r) {
    JsonObject j;
    j["rate_s_per_day"] = r.known ? JsonObject(std::round(r.s_per_day * 100) / 100) : JsonObject(nullptr);
    j["days"] = std::round(r.days * 10) / 10;
    j["text"] = utf8_from_1252(rate_text(r));
    return j;
}

DevicePicture::DevicePicture(const DaemonConfig& config) : config_(config) {}

void DevicePicture::add_view(View view) { views_.push_back(std::move(view)); }

Picture DevicePicture::snapshot() const {
    std::lock_guard<std::mutex> lock(m_);
    return picture_;
}

LinkState DevicePicture::link() const {
    std::lock_guard<std::mutex> lock(m_);
    return picture_.link();
}

bool DevicePicture::answering() const {
    std::lock_guard<std::mutex> lock(m_);
    return picture_.answering;
}

// `write` changes the picture under the lock and says whether anything
// changed; the views hear of it after, each with the same copy.
template <typename Write>
void DevicePicture::change(Write write, const Change& c) {
    Picture now;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (!write(picture_)) return;
        now = picture_;
    }
    for (const View& v : views_) v(now, c);
}

void DevicePicture::set_status(const StatusReading& status) {
    change(
        [&](Picture& p) {
            p.status = status;
            return true;
        },
        Change(Change::What::Status));
}

void DevicePicture::set_timer(const ListedTimer& t) {
    if (t.timer < 1 || t.timer > 5) return;
    change(
        [&](Picture& p) {
            p.timers[static_cast<std::size_t>(t.timer - 1)] = t;
            return true;
        },
        Change(Change::What::Timer, t.timer));
}

void DevicePicture::forget_timer(int n) {
    if (n < 1 || n > 5) return;
    change(
        [&](Picture& p) {
            auto& t = p.timers[static_cast<std::size_t>(n - 1)];
            if (!t) return false;
            t.reset();
            return true;
        },
        Change(Change::What::Timer, n));
}

void DevicePicture::set_answering(bool answering) {
    LinkState before = LinkState::Offline;
    change(
        [&](Picture& p) {
            before = p.link();
            p.answering = answering;
            return true;
        },
        Change(Change::What::Answering));
    change([&](const Picture& p) { return p.link() != before; }, Change(Change::What::Link));
}

void DevicePicture::set_lent(bool lent) {
    change(
        [&](Picture& p) {
            if (p.lent == lent) return false;
            p.lent = lent;
            return true;
        },
        Change(Change::What::Link));
}

void DevicePicture::add_event(EventType type, JsonObject fields) {
    JsonObject e;
    e["event_type"] = event_name(type);
    for (auto& [key, value] : fields.items()) e[key] = value;
    const Change c(Change::What::Event, 0, e);
    change(
        [&](Picture& p) {
            p.events.push_back(e);
            if (p.events.size() > Picture::kMaxEvents) p.events.pop_front();
            return true;
        },
        c);
}

void DevicePicture::set_reply(const std::string& reply) {
    change(
        [&](Picture& p) {
            p.last_reply = reply;
            return true;
        },
        Change(Change::What::Reply));
}

void DevicePicture::set_clock_rate(const RateEstimate& rate) {
    change(
        [&](Picture& p) {
            // Told first and then when its words change, not at every reading.
            const bool news = !rate_told_ || rate_text(p.clock_rate) != rate_text(rate);
            rate_told_ = true;
            p.clock_rate = rate;
            return news;
        },
        Change(Change::What::ClockRate));
}

}  // namespace zd::daemon
