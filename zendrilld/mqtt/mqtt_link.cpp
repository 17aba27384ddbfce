#include "zendrilld/mqtt/mqtt_link.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix/random_token.h"

namespace zd::daemon {

namespace {

constexpr std::size_t kMaxOutbox = 1024;
constexpr std::size_t kMaxIncoming = 1024;  // per loop call; more are dropped
constexpr auto kGoodbye = std::chrono::seconds(2);
constexpr auto kStableAtLeast = std::chrono::seconds(10);
constexpr std::size_t kMaxProbeToken = 32;

std::string error_text(int rc, int error_number = 0) {
    // libmosquitto's texts are English; the log names the code as well. Its
    // "errno" code means the text of an errno taken on another thread.
    if (rc == MOSQ_ERR_ERRNO && error_number != 0)
        return std::string(std::strerror(error_number)) + " (errno " + std::to_string(error_number) + ")";
    return std::string(mosquitto_strerror(rc)) + " (" + std::to_string(rc) + ")";
}

int ms_until(Steady::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Steady::now()).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 60 * 60 * 1000));
}

long long whole_seconds(std::chrono::milliseconds d) { return (d.count() + 999) / 1000; }

}  // namespace

// --- ReconnectPolicy ---------------------------------------------------------

std::chrono::seconds ReconnectPolicy::failed() {
    const auto delay = backoff_;
    backoff_ = std::min(backoff_ * 2, kMax);
    return delay;
}

ReconnectPolicy::Drop ReconnectPolicy::dropped(Steady::time_point at) {
    const Steady::duration stable = std::max<Steady::duration>(kStableAtLeast, 2 * backoff_);
    if (at - connected_at_ >= stable) {
        backoff_ = kFirst;
        short_drops_ = 0;
        return {failed(), false};
    }
    ++short_drops_;
    return {failed(), short_drops_ == 3};
}

// --- InstanceProbe -----------------------------------------------------------

InstanceProbe::InstanceProbe(std::string token, std::chrono::milliseconds window)
    : token_(std::move(token)), window_(window) {}

void InstanceProbe::start(Steady::time_point now) {
    state_ = State::Probing;
    echoed_ = false;
    settle_at_ = now + window_;
    // A broker that never echoes the probe (an ACL) must not keep the daemon
    // off its topics for good.
    give_up_at_ = now + 5 * window_;
}

InstanceProbe::Reaction InstanceProbe::on_message(const std::string& payload) {
    Reaction r;
    const auto space = payload.find(' ');
    if (space == std::string::npos) return r;
    const std::string kind = payload.substr(0, space);
    const std::string token = payload.substr(space + 1);
    if (token.empty() || token.size() > kMaxProbeToken) return r;
    if (kind == "probe") {
        if (token == token_) {
            echoed_ = true;
        } else if (state_ == State::Owner) {
            r.answer = "present " + token_;
            r.other_tried = true;
        } else if (state_ == State::Probing) {
            // Two newcomers at once: the larger token gives way.
            if (token < token_)
                state_ = State::Refused;
            else
                r.answer = "present " + token_;
        }
    } else if (kind == "present" && token != token_ && state_ == State::Probing) {
        state_ = State::Refused;
    }
    return r;
}

Steady::time_point InstanceProbe::tick(Steady::time_point now) {
    if (state_ == State::Probing && ((echoed_ && now >= settle_at_) || now >= give_up_at_)) state_ = State::Owner;
    return echoed_ ? settle_at_ : give_up_at_;
}

// --- MqttLink ------------------------------------------------------------------

// A connect in progress on a worker of its own: the name lookup and the TCP
// connect block for as long as the network likes. Given up on, the worker
// destroys its client itself once the call comes back.
struct MqttLink::Attempt {
    std::mutex m;
    bool done = false;
    bool abandoned = false;
    int rc = MOSQ_ERR_SUCCESS;
    int error_number = 0;
    mosquitto* mosq = nullptr;
    posix::Wakeup wake;
};


MqttLink::MqttLink(MqttSettings settings, std::vector<std::string> subscriptions, Handlers handlers)
    : settings_(std::move(settings)),
      subscriptions_(std::move(subscriptions)),
      handlers_(std::move(handlers)),
      probe_(posix::random_token(8), settings_.probe_window) {}

MqttLink::~MqttLink() {
    if (thread_.joinable()) stop("");
}

void MqttLink::log(const std::string& line) {
    if (handlers_.log) handlers_.log(line);
}

std::string MqttLink::where() const { return settings_.host + ":" + std::to_string(settings_.port); }

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
    if (settings_.probe_topic.empty()) owner_ = true;
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

// --- callbacks: note, call nothing of libmosquitto ---------------------------

void MqttLink::on_connect_cb(mosquitto*, void* obj, int rc) {
    auto* self = static_cast<MqttLink*>(obj);
    self->connack_seen_ = true;
    self->connack_rc_ = rc;
}

void MqttLink::on_disconnect_cb(mosquitto*, void* obj, int rc) {
    auto* self = static_cast<MqttLink*>(obj);
    // The first is the broker's reason; a read of the closed socket may follow.
    if (self->disconnected_) return;
    self->disconnected_ = true;
    self->disconnect_rc_ = rc;
}

void MqttLink::on_message_cb(mosquitto*, void* obj, const mosquitto_message* m) {
    auto* self = static_cast<MqttLink*>(obj);
    if (!m || !m->topic || self->incoming_.size() >= kMaxIncoming) return;
    Incoming in;
    in.topic = m->topic;
    in.retained = m->retain;
    in.size = m->payloadlen > 0 ? static_cast<std::size_t>(m->payloadlen) : 0;
    // Looked at before anything is copied: a huge message costs nothing more.
    in.oversized = in.size > self->settings_.max_payload;
    if (!in.oversized && m->payload) in.payload.assign(static_cast<const char*>(m->payload), in.size);
    self->incoming_.push_back(std::move(in));
}

void MqttLink::on_publish_cb(mosquitto*, void* obj, int mid) { static_cast<MqttLink*>(obj)->unacknowledged_.erase(mid); }

// --- the MQTT thread ---------------------------------------------------------

bool MqttLink::begin_attempt() {
    if (stale_) {
        std::lock_guard<std::mutex> lock(stale_->m);
        // One worker at most: while the one given up on still hangs, no second.
        if (!stale_->done) return false;
    }
    stale_.reset();
    // The probe goes out under an id of its own, so it knocks no one off:
    // not a running zendrilld with our device_id, whose answer it waits for.
    const std::string id = owner_ ? settings_.client_id : settings_.client_id + "-probe-" + probe_.token();
    mosquitto* mosq = mosquitto_new(id.c_str(), true, this);
    if (!mosq) return false;
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, mqtt5_ ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(mosq, on_connect_cb);
    mosquitto_disconnect_callback_set(mosq, on_disconnect_cb);
    mosquitto_message_callback_set(mosq, on_message_cb);
    mosquitto_publish_callback_set(mosq, on_publish_cb);
    if (owner_) mosquitto_will_set(mosq, settings_.will_topic.c_str(), 7, "offline", 1, true);
    if (!settings_.user.empty())
        mosquitto_username_pw_set(mosq, settings_.user.c_str(),
                                  settings_.password.empty() ? nullptr : settings_.password.c_str());
    if (!settings_.tls_ca.empty()) {
        const int rc = mosquitto_tls_set(mosq, settings_.tls_ca.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS && !tls_error_logged_) log("TLS nicht einzurichten: " + error_text(rc));
        tls_error_logged_ = rc != MOSQ_ERR_SUCCESS;
    }
    mosquitto_property* properties = nullptr;
    // Nothing larger than a command and its topic is worth reading.
    if (mqtt5_) mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, static_cast<uint32_t>(settings_.max_packet));
    auto attempt = std::make_shared<Attempt>();
    attempt->mosq = mosq;
    std::thread([attempt, properties, host = settings_.host, port = settings_.port,
                 keepalive = settings_.keepalive_s]() mutable {
        const int rc = mosquitto_connect_bind_v5(attempt->mosq, host.c_str(), port, keepalive, nullptr, properties);
        const int error_number = errno;
        mosquitto_property_free_all(&properties);
        std::lock_guard<std::mutex> lock(attempt->m);
        attempt->rc = rc;
        attempt->error_number = error_number;
        attempt->done = true;
        if (attempt->abandoned) {
            mosquitto_destroy(attempt->mosq);
            attempt->mosq = nullptr;
        } else {
            attempt->wake.signal();
        }
    }).detach();
    attempt_ = attempt;
    phase_ = Phase::Connecting;
    deadline_ = Steady::now() + settings_.connect_timeout;
    return true;
}

// Gives up on the worker: its client is ours to destroy if it is done,
// else the worker's.
void MqttLink::abandon_attempt() {
    if (!attempt_) return;
    bool still_running = false;
    {
        std::lock_guard<std::mutex> lock(attempt_->m);
        if (attempt_->done) {
            if (attempt_->mosq) mosquitto_destroy(attempt_->mosq);
            attempt_->mosq = nullptr;
        } else {
            attempt_->abandoned = true;
            still_running = true;
        }
    }
    if (still_running) stale_ = attempt_;
    attempt_.reset();
}

void MqttLink::attempt_done() {
    int rc = MOSQ_ERR_SUCCESS;
    int error_number = 0;
    {
        std::lock_guard<std::mutex> lock(attempt_->m);
        if (!attempt_->done) return;
        rc = attempt_->rc;
        error_number = attempt_->error_number;
        mosq_ = attempt_->mosq;
        attempt_->mosq = nullptr;
    }
    attempt_.reset();
    if (rc != MOSQ_ERR_SUCCESS) {
        give_up("MQTT-Broker " + where() + " nicht erreichbar: " + error_text(rc, error_number));
        return;
    }
    // The socket is open and CONNECT queued; the CONNACK is due by the same deadline.
    phase_ = Phase::Handshake;
}

void MqttLink::close_client() {
    if (mosq_) mosquitto_destroy(mosq_);
    mosq_ = nullptr;
    unacknowledged_.clear();
    incoming_.clear();
    connack_seen_ = false;
    disconnected_ = false;
    disconnect_rc_ = 0;
    std::lock_guard<std::mutex> lock(m_);
    connected_ = false;
}

void MqttLink::give_up(const std::string& failure) {
    close_client();
    if (failure != last_failure_)
        log(failure + "; neuer Versuch mit wachsendem Abstand bis " + std::to_string(ReconnectPolicy::kMax.count()) +
            " s");
    last_failure_ = failure;
    phase_ = Phase::Idle;
    deadline_ = Steady::now() + policy_.failed();
}

void MqttLink::on_connack() {
    connack_seen_ = false;
    const int rc = connack_rc_;
    if (rc != 0) {
        const std::string text = std::string(mqtt5_ ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc)) +
                                 " (" + std::to_string(rc) + ")";
        // A broker of MQTT 3.1.1 only: the next attempts speak its version.
        const bool version = rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || rc == 1;
        if (mqtt5_ && version) mqtt5_ = false;
        if (!owner_ && !version) {
            // The probe's client id is not welcome (an ACL): go on without the check.
            log("Prüfung auf einen zweiten zendrilld unter " + settings_.base_topic + " nicht möglich: " + text);
            close_client();
            owner_ = true;
            phase_ = Phase::Idle;
            deadline_ = Steady::now();
            return;
        }
        give_up("MQTT-Broker " + where() + " lehnt die Verbindung ab: " + text);
        return;
    }
    const auto now = Steady::now();
    phase_ = Phase::Connected;
    policy_.connected(now);
    last_failure_.clear();
    next_misc_ = now + std::chrono::seconds(1);
    if (!settings_.probe_topic.empty()) mosquitto_subscribe(mosq_, nullptr, settings_.probe_topic.c_str(), 1);
    if (owner_) {
        log("Mit dem MQTT-Broker " + where() + " verbunden" + (mqtt5_ ? "" : " (MQTT 3.1.1)"));
        take_over();
        return;
    }
    // The subscription is made before the probe goes out, so it comes back.
    probe_.start(now);
    send({settings_.probe_topic, probe_.probe(), false});
}

void MqttLink::take_over() {
    for (const std::string& s : subscriptions_) mosquitto_subscribe(mosq_, nullptr, s.c_str(), 1);
    std::map<std::string, std::string> retained;
    std::deque<Outgoing> since_start;
    {
        std::lock_guard<std::mutex> lock(m_);
        connected_ = true;
        retained = retained_;
        // What was queued before is in the retained set or was never meant to
        // outlive a connection; only the events of the start-up wait for the first.
        if (!taken_over_) since_start.swap(outbox_);
        outbox_.clear();
    }
    taken_over_ = true;
    // The start-up's messages go out in their order, as if connected all along.
    std::set<std::string> queued;
    for (const Outgoing& o : since_start)
        if (o.retain) queued.insert(o.topic);
    for (const auto& [topic, payload] : retained)
        if (!queued.count(topic)) send({topic, payload, true});
    for (const Outgoing& o : since_start) send(o);
    if (handlers_.connected) handlers_.connected();
}

void MqttLink::refuse(const std::string& text) {
    // A clean DISCONNECT: the broker drops our will and leaves the other's topics alone.
    if (mosq_ && phase_ == Phase::Connected) goodbye(Steady::now() + kGoodbye);
    close_client();
    probe_.refuse();
    phase_ = Phase::Refused;
    if (handlers_.refused) handlers_.refused(text);
}

void MqttLink::connection_lost(int rc) {
    const bool was_connected = phase_ == Phase::Connected;
    const int reason = disconnected_ ? disconnect_rc_ : rc;
    close_client();
    if (!was_connected) {
        // Closed before any CONNACK: an older broker may not speak MQTT 5.
        if (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_PROTOCOL) mqtt5_ = !mqtt5_;
        give_up("MQTT-Broker " + where() + " hat die Verbindung vor der Anmeldung getrennt: " + error_text(rc));
        return;
    }
    const std::string question = "Läuft ein zweiter zendrilld mit dieser device_id?";
    if (reason == MQTT_RC_SESSION_TAKEN_OVER) {
        // Brokers that say so; mosquitto 2.0 only closes the connection.
        log("Verbindung zum MQTT-Broker von einem anderen Client mit derselben Kennung " + settings_.client_id +
            " übernommen: " + question);
    } else {
        log("Verbindung zum MQTT-Broker verloren: " +
            (reason >= 128 ? std::string(mosquitto_reason_string(reason)) + " (" + std::to_string(reason) + ")"
                           : error_text(reason)));
    }
    const ReconnectPolicy::Drop drop = policy_.dropped(Steady::now());
    if (drop.again_and_again && reason != MQTT_RC_SESSION_TAKEN_OVER)
        log("Verbindung zum MQTT-Broker immer wieder gleich nach dem Verbinden getrennt: ein anderer Client mit "
            "derselben Kennung " + settings_.client_id + "? " + question);
    phase_ = Phase::Idle;
    deadline_ = Steady::now() + drop.delay;
}

void MqttLink::dispatch() {
    std::vector<Incoming> in;
    in.swap(incoming_);
    for (Incoming& m : in) {
        if (phase_ != Phase::Connected) return;
        if (m.topic == settings_.probe_topic) {
            if (m.oversized) continue;
            const InstanceProbe::Reaction r = probe_.on_message(m.payload);
            if (!r.answer.empty()) send({settings_.probe_topic, r.answer, false});
            if (r.other_tried)
                log("Ein weiterer zendrilld wollte die Themen unter " + settings_.base_topic +
                    " übernehmen und wurde abgewiesen");
            if (probe_.state() == InstanceProbe::State::Refused)
                refuse("Ein anderer zendrilld veröffentlicht schon unter " + settings_.base_topic +
                       ": Läuft ein zweiter zendrilld mit demselben base_topic (oder derselben device_id)? "
                       "Dieser zendrilld übernimmt die Themen nicht und beendet sich.");
            continue;
        }
        if (!owner_) continue;
        if (m.oversized) {
            if (handlers_.oversized) handlers_.oversized(m.topic, m.size, m.retained);
        } else if (handlers_.message) {
            handlers_.message(m.topic, m.payload, m.retained);
        }
    }
}

void MqttLink::send(const Outgoing& o) {
    if (!mosq_) return;
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
            if (taken_over_) outbox_.clear();
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

// Writes what is queued, the DISCONNECT last, until `until` at the latest.
void MqttLink::goodbye(Steady::time_point until) {
    // The broker's acknowledgements are read before DISCONNECT: a socket closed
    // with bytes unread is reset, and the broker may lose what it had not yet
    // read, the DISCONNECT among it, and send the will.
    while (Steady::now() < until && !unacknowledged_.empty()) {
        pollfd p{mosquitto_socket(mosq_), static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0};
        ::poll(&p, 1, std::min(100, ms_until(until)));
        int rc = MOSQ_ERR_SUCCESS;
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(mosq_)) rc = mosquitto_loop_write(mosq_, 1);
        if (rc != MOSQ_ERR_SUCCESS || disconnected_) return;
    }
    mosquitto_disconnect(mosq_);
    while (Steady::now() < until && mosquitto_want_write(mosq_) && mosquitto_loop_write(mosq_, 1) == MOSQ_ERR_SUCCESS) {
        pollfd p{mosquitto_socket(mosq_), POLLOUT, 0};
        ::poll(&p, 1, std::min(100, ms_until(until)));
    }
}

void MqttLink::finish(const std::string& last_words) {
    abandon_attempt();
    if (phase_ == Phase::Connected) {
        if (owner_) {
            flush_outbox();
            if (!last_words.empty()) send({settings_.will_topic, last_words, true});
        }
        goodbye(Steady::now() + kGoodbye);
    }
    close_client();
}

void MqttLink::run() {
    deadline_ = Steady::now();
    for (;;) {
        bool stopping = false;
        std::string last_words;
        bool republish_due = false;
        Steady::time_point republish_at{};
        {
            std::lock_guard<std::mutex> lock(m_);
            stopping = stopping_;
            last_words = last_words_;
            republish_due = republish_due_ && connected_;
            republish_at = republish_at_;
        }
        if (stopping) {
            finish(last_words);
            return;
        }
        auto now = Steady::now();
        if (phase_ == Phase::Idle && now >= deadline_ && !begin_attempt()) deadline_ = now + policy_.failed();
        if (phase_ == Phase::Connecting && now >= deadline_) {
            attempt_done();
            if (phase_ == Phase::Connecting) {
                abandon_attempt();
                give_up("MQTT-Broker " + where() + " nicht erreichbar: keine Verbindung nach " +
                        std::to_string(whole_seconds(settings_.connect_timeout)) + " s");
            }
        }
        if (phase_ == Phase::Handshake && now >= deadline_)
            give_up("MQTT-Broker " + where() + " antwortet nicht: keine Bestätigung der Anmeldung (CONNACK) nach " +
                    std::to_string(whole_seconds(settings_.connect_timeout)) + " s");
        Steady::time_point until = deadline_;
        if (phase_ == Phase::Connected && !owner_) {
            until = probe_.tick(now);
            if (probe_.state() == InstanceProbe::State::Owner) {
                // No other: the probe's connection ends, ours under the real id begins at once.
                goodbye(now + std::chrono::milliseconds(500));
                close_client();
                owner_ = true;
                phase_ = Phase::Idle;
                deadline_ = until = now;
            }
        }
        if (phase_ == Phase::Connected) {
            flush_outbox();
            if (owner_) until = next_misc_;
            if (republish_due) until = std::min(until, republish_at);
        }

        pollfd fds[2] = {{wake_.fd(), POLLIN, 0}, {-1, 0, 0}};
        if (phase_ == Phase::Connecting) {
            fds[1] = {attempt_->wake.fd(), POLLIN, 0};
        } else if (phase_ == Phase::Handshake || phase_ == Phase::Connected) {
            fds[1] = {mosquitto_socket(mosq_), static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)),
                      0};
        }
        const int wait = phase_ == Phase::Refused ? -1 : ms_until(until);
        if (::poll(fds, 2, wait) < 0) continue;
        if (fds[0].revents & POLLIN) wake_.drain();
        if (phase_ == Phase::Connecting) {
            if (fds[1].revents & POLLIN) attempt_done();
            continue;
        }
        if (phase_ != Phase::Handshake && phase_ != Phase::Connected) continue;
        int rc = MOSQ_ERR_SUCCESS;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(mosq_)) rc = mosquitto_loop_write(mosq_, 1);
        now = Steady::now();
        if (rc == MOSQ_ERR_SUCCESS && phase_ == Phase::Connected && now >= next_misc_) {
            rc = mosquitto_loop_misc(mosq_);
            // Keep-alives are due at half the keep-alive time at the latest.
            next_misc_ = now + std::chrono::seconds(std::max(1, settings_.keepalive_s / 2));
        }
        if (connack_seen_ && phase_ == Phase::Handshake) on_connack();
        dispatch();
        if (phase_ == Phase::Connected || phase_ == Phase::Handshake) {
            if (rc != MOSQ_ERR_SUCCESS || disconnected_ || mosquitto_socket(mosq_) < 0)
                connection_lost(rc != MOSQ_ERR_SUCCESS ? rc : MOSQ_ERR_CONN_LOST);
        }
    }
}

}  // namespace zd::daemon
