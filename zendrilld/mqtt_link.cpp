#include "zendrilld/mqtt_link.h"

#include <mosquitto.h>
#include <poll.h>

#include <algorithm>

#include "core/utf8.h"

namespace zd::daemon {

namespace {

using Steady = std::chrono::steady_clock;
constexpr std::size_t kMaxOutbox = 1024;

MqttLink* self(void* obj) { return static_cast<MqttLink*>(obj); }

std::string error_text(int rc) {
    // libmosquitto's texts are English; the log names the code as well.
    return std::string(mosquitto_strerror(rc)) + " (" + std::to_string(rc) + ")";
}

}  // namespace

MqttLink::MqttLink(MqttSettings settings, std::vector<std::string> subscriptions, Handlers handlers)
    : settings_(std::move(settings)), subscriptions_(std::move(subscriptions)), handlers_(std::move(handlers)) {}

MqttLink::~MqttLink() {
    if (thread_.joinable()) stop("");
    if (mosq_) mosquitto_destroy(mosq_);
}

void MqttLink::log(const std::string& line) {
    if (handlers_.log) handlers_.log(line);
}

bool MqttLink::connected() const {
    std::lock_guard<std::mutex> lock(m_);
    return connected_;
}

void MqttLink::publish(const std::string& topic, const std::string& payload, bool retain) {
    {
        std::lock_guard<std::mutex> lock(m_);
        if (retain) retained_[topic] = payload;
        if (outbox_.size() >= kMaxOutbox) outbox_.pop_front();
        outbox_.push_back({topic, payload, retain});
    }
    wake_.signal();
}

void MqttLink::republish_after(std::chrono::milliseconds delay) {
    {
        std::lock_guard<std::mutex> lock(m_);
        republish_due_ = true;
        republish_at_ = Steady::now() + delay;
    }
    wake_.signal();
}

void MqttLink::start() {
    mosq_ = mosquitto_new(settings_.client_id.c_str(), true, this);
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* obj, int rc) { self(obj)->on_connect(rc); });
    mosquitto_disconnect_callback_set(mosq_, [](mosquitto*, void* obj, int rc) { self(obj)->on_disconnect(rc); });
    mosquitto_message_callback_set(
        mosq_, [](mosquitto*, void* obj, const mosquitto_message* m) { self(obj)->on_message(m); });
    mosquitto_publish_callback_set(mosq_, [](mosquitto*, void* obj, int mid) { self(obj)->on_published(mid); });
    mosquitto_will_set(mosq_, settings_.will_topic.c_str(), 7, "offline", 1, true);
    if (!settings_.user.empty())
        mosquitto_username_pw_set(mosq_, settings_.user.c_str(),
                                  settings_.password.empty() ? nullptr : settings_.password.c_str());
    if (!settings_.tls_ca.empty()) {
        const int rc = mosquitto_tls_set(mosq_, settings_.tls_ca.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) log("TLS nicht einzurichten: " + error_text(rc));
    }
    thread_ = std::thread([this] { run(); });
}

void MqttLink::stop(const std::string& last_words) {
    {
        std::lock_guard<std::mutex> lock(m_);
        stopping_ = true;
        last_words_ = last_words;
    }
    wake_.signal();
    if (thread_.joinable()) thread_.join();
}

void MqttLink::on_connect(int rc) {
    if (rc != 0) {
        log(std::string("MQTT-Broker lehnt die Verbindung ab: ") + mosquitto_connack_string(rc));
        return;
    }
    for (const std::string& s : subscriptions_) mosquitto_subscribe(mosq_, nullptr, s.c_str(), 1);
    std::map<std::string, std::string> retained;
    {
        std::lock_guard<std::mutex> lock(m_);
        connected_ = true;
        retained = retained_;
        // What was queued before is in the retained set or was never meant to outlive a connection.
        outbox_.clear();
    }
    unacknowledged_.clear();
    log("Mit dem MQTT-Broker " + settings_.host + ":" + std::to_string(settings_.port) + " verbunden");
    for (const auto& [topic, payload] : retained) send({topic, payload, true});
    if (handlers_.connected) handlers_.connected();
}

void MqttLink::on_disconnect(int rc) {
    bool was_connected = false;
    {
        std::lock_guard<std::mutex> lock(m_);
        was_connected = connected_;
        connected_ = false;
    }
    // libmosquitto tells a lost connection here, before loop_read returns its error.
    if (was_connected && rc != MOSQ_ERR_SUCCESS) log("Verbindung zum MQTT-Broker verloren: " + error_text(rc));
}

void MqttLink::on_message(const mosquitto_message* m) {
    if (!handlers_.message || !m || !m->topic) return;
    const std::string payload(static_cast<const char*>(m->payload ? m->payload : ""),
                              static_cast<std::size_t>(m->payloadlen > 0 ? m->payloadlen : 0));
    handlers_.message(m->topic, payload, m->retain);
}

void MqttLink::on_published(int mid) { unacknowledged_.erase(mid); }

void MqttLink::send(const Outgoing& o) {
    const int qos = o.retain ? 1 : 0;
    int mid = 0;
    if (mosquitto_publish(mosq_, &mid, o.topic.c_str(), static_cast<int>(o.payload.size()), o.payload.data(), qos,
                          o.retain) == MOSQ_ERR_SUCCESS &&
        qos > 0)
        unacknowledged_.insert(mid);
}

void MqttLink::flush_outbox() {
    std::deque<Outgoing> out;
    std::map<std::string, std::string> again;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (!connected_) {
            outbox_.clear();
            return;
        }
        out.swap(outbox_);
        if (republish_due_ && Steady::now() >= republish_at_) {
            republish_due_ = false;
            again = retained_;
        }
    }
    for (const auto& [topic, payload] : again) send({topic, payload, true});
    for (const Outgoing& o : out) send(o);
}

void MqttLink::run() {
    auto backoff = std::chrono::seconds(1);
    auto next_attempt = Steady::now();
    auto next_misc = Steady::now();
    bool socket_open = false;
    std::string last_failure;
    for (;;) {
        bool stopping = false;
        std::string last_words;
        Steady::time_point republish_at{};
        bool republish_due = false;
        {
            std::lock_guard<std::mutex> lock(m_);
            stopping = stopping_;
            last_words = last_words_;
            republish_due = republish_due_;
            republish_at = republish_at_;
        }
        if (stopping) {
            if (socket_open && connected()) {
                flush_outbox();
                if (!last_words.empty()) send({settings_.will_topic, last_words, true});
                const auto until = Steady::now() + std::chrono::seconds(2);
                // The broker's acknowledgements are read before DISCONNECT: a socket closed
                // with bytes unread is reset, and the broker may lose what it had not yet
                // read, the DISCONNECT among it, and send the will.
                while (Steady::now() < until && !unacknowledged_.empty()) {
                    pollfd p{mosquitto_socket(mosq_),
                             static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0};
                    ::poll(&p, 1, 100);
                    int rc = MOSQ_ERR_SUCCESS;
                    if (p.revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(mosq_, 1);
                    if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(mosq_)) rc = mosquitto_loop_write(mosq_, 1);
                    if (rc != MOSQ_ERR_SUCCESS) break;
                }
                mosquitto_disconnect(mosq_);
                // The last words and the DISCONNECT go out before the thread ends.
                while (Steady::now() < until && mosquitto_want_write(mosq_) &&
                       mosquitto_loop_write(mosq_, 1) == MOSQ_ERR_SUCCESS) {
                    pollfd p{mosquitto_socket(mosq_), POLLOUT, 0};
                    ::poll(&p, 1, 100);
                }
            }
            return;
        }
        const auto now = Steady::now();
        if (!socket_open && now >= next_attempt) {
            const int rc = mosquitto_connect(mosq_, settings_.host.c_str(), settings_.port, settings_.keepalive_s);
            if (rc == MOSQ_ERR_SUCCESS) {
                socket_open = true;
                next_misc = Steady::now() + std::chrono::seconds(1);
                last_failure.clear();
            } else {
                const std::string failure = error_text(rc);
                if (failure != last_failure)
                    log("MQTT-Broker " + settings_.host + ":" + std::to_string(settings_.port) +
                        " nicht erreichbar: " + failure + "; neuer Versuch mit wachsendem Abstand bis 60 s");
                last_failure = failure;
                next_attempt = Steady::now() + backoff;
                backoff = std::min(backoff * 2, std::chrono::seconds(60));
            }
        }
        flush_outbox();

        pollfd fds[2] = {{wake_.fd(), POLLIN, 0}, {-1, 0, 0}};
        int count = 1;
        auto deadline = socket_open ? next_misc : next_attempt;
        if (republish_due && republish_at < deadline) deadline = republish_at;
        if (socket_open) {
            fds[1] = {mosquitto_socket(mosq_), static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)),
                      0};
            count = 2;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
        ::poll(fds, static_cast<nfds_t>(count), static_cast<int>(std::max<long long>(0, wait)));
        if (fds[0].revents & POLLIN) wake_.drain();
        if (!socket_open) continue;
        int rc = MOSQ_ERR_SUCCESS;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(mosq_)) rc = mosquitto_loop_write(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && Steady::now() >= next_misc) {
            rc = mosquitto_loop_misc(mosq_);
            // Keep-alives are due at half the keep-alive time at the latest.
            next_misc = Steady::now() + std::chrono::seconds(std::max(1, settings_.keepalive_s / 2));
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            {
                std::lock_guard<std::mutex> lock(m_);
                if (connected_) log("Verbindung zum MQTT-Broker verloren: " + error_text(rc));
                connected_ = false;
            }
            // The socket is gone; the next connect builds a new one.
            mosquitto_disconnect(mosq_);
            socket_open = false;
            next_attempt = Steady::now() + backoff;
            backoff = std::min(backoff * 2, std::chrono::seconds(60));
        } else if (connected()) {
            backoff = std::chrono::seconds(1);
        }
    }
}

}  // namespace zd::daemon
