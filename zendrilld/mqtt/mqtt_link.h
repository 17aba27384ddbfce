#pragma once
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/unix_socket.h"
#include "zendrilld/steady.h"

struct mosquitto;
struct mosquitto_message;

namespace zd::daemon {


struct MqttSettings {
    std::string host;
    int port = 1883;
    std::string user;
    std::string password;
    std::string tls_ca;
    std::string client_id;
    std::string will_topic;  // gets "offline", retained, when the connection dies
    int keepalive_s = 60;
    // Where every zendrilld of one base topic answers a newcomer (see
    // InstanceProbe); empty: no check, for --remove-discovery.
    std::string probe_topic;
    std::string base_topic;  // for the messages
    // Larger messages are dropped before they are copied; the broker is
    // asked (MQTT 5) to send no packet over max_packet.
    std::size_t max_payload = 1024;
    int max_packet = 4096;
    // From the start of an attempt to the broker's CONNACK.
    std::chrono::milliseconds connect_timeout{10000};
    std::chrono::milliseconds probe_window{2000};
};

// When to try again. Failed attempts and connections dropped soon after
// they were made double the delay (1 s to 60 s); a connection that lasted
// resets it. "Soon" grows with the delay, so two clients that knock each
// other off slow down for good instead of meeting again every second.
// Used on the MQTT thread only; pure, with the time given.
class ReconnectPolicy {
public:
    static constexpr auto kFirst = std::chrono::seconds(1);
    static constexpr auto kMax = std::chrono::seconds(60);

    std::chrono::seconds failed();
    void connected(Steady::time_point at) { connected_at_ = at; }
    struct Drop {
        std::chrono::seconds delay;
        bool again_and_again = false;  // the third short connection in a row
    };
    Drop dropped(Steady::time_point at);

private:
    std::chrono::seconds backoff_ = kFirst;
    Steady::time_point connected_at_{};
    int short_drops_ = 0;
};

// Whether another zendrilld already publishes under the base topic. The
// newcomer sends "probe <token>" to the probe topic before it takes over any
// topic; every zendrilld that owns the base topic answers "present <token>"
// with its own random token. The newcomer owns the topics once its own probe
// came back and the window passed without an answer. Two newcomers at once:
// the larger token gives way. A retained "online" of an earlier run answers
// nothing, so it holds no one up. Used on the MQTT thread only; pure, with
// the time given.
class InstanceProbe {
public:
    enum class State { Probing, Owner, Refused };
    InstanceProbe(std::string token, std::chrono::milliseconds window);

    const std::string& token() const { return token_; }
    std::string probe() const { return "probe " + token_; }
    void start(Steady::time_point now);  // after the first CONNACK
    State state() const { return state_; }

    struct Reaction {
        std::string answer;        // to publish on the probe topic; empty: none
        bool other_tried = false;  // a newcomer was turned away
    };
    Reaction on_message(const std::string& payload);
    // Moves to Owner when due; the time to look again.
    Steady::time_point tick(Steady::time_point now);
    void refuse() { state_ = State::Refused; }

private:
    std::string token_;
    std::chrono::milliseconds window_;
    State state_ = State::Probing;
    bool echoed_ = false;
    Steady::time_point settle_at_{};
    Steady::time_point give_up_at_{};
};

// The connection to the broker on a thread of its own: it connects and
// reconnects with back-off, keeps every retained message it was given and
// sends them all again after each connect, and sleeps in poll() between
// packets and keep-alives. The name lookup and TCP connect run on a short
// worker of their own with a deadline, so nothing the broker or the network
// does holds up stop(). Every other thread only queues.
class MqttLink {
public:
    // Called on the MQTT thread, never from inside libmosquitto.
    struct Handlers {
        std::function<void(const std::string& topic, const std::string& payload, bool retained)> message;
        // A message over max_payload, dropped unread.
        std::function<void(const std::string& topic, std::size_t size, bool retained)> oversized;
        // After each connect, once the subscriptions are made and the
        // retained messages sent.
        std::function<void()> connected;
        std::function<void(const std::string& line)> log;  // Windows-1252
        // Another zendrilld owns the base topic; the link took over nothing
        // and has ended its connection. The text is for the log.
        std::function<void(const std::string& line)> refused;
    };
    MqttLink(MqttSettings settings, std::vector<std::string> subscriptions, Handlers handlers);
    ~MqttLink();

    void start();
    // Sends `last_words` (retained) to the will topic, disconnects cleanly
    // and ends the thread; comes back within about two and a half seconds
    // whatever the broker, the network or the name lookup does.
    void stop(const std::string& last_words);

    // Thread-safe. Retained messages replace the one kept for their topic;
    // others are sent when connected and dropped otherwise.
    void publish(const std::string& topic, const std::string& payload, bool retain);
    // Every retained message again after `delay` (Home Assistant came back).
    void republish_after(std::chrono::milliseconds delay);

    bool connected() const;

    struct Attempt;

private:
    struct Outgoing {
        std::string topic;
        std::string payload;
        bool retain = false;
    };
    struct Incoming {
        std::string topic;
        std::string payload;
        std::size_t size = 0;
        bool retained = false;
        bool oversized = false;
    };
    enum class Phase { Idle, Connecting, Handshake, Connected, Refused };

    void run();
    bool begin_attempt();
    void abandon_attempt();
    void attempt_done();
    void on_connack();
    void take_over();
    void refuse(const std::string& text);
    void connection_lost(int rc);
    void dispatch();
    void give_up(const std::string& failure);
    void close_client();
    void goodbye(Steady::time_point until);
    void finish(const std::string& last_words);
    void flush_outbox();
    void send(const Outgoing& o);
    void log(const std::string& line);
    std::string where() const;

    // libmosquitto's callbacks, on the MQTT thread inside its loop calls:
    // they note what happened and call nothing of libmosquitto.
    static void on_connect_cb(mosquitto*, void* obj, int rc);
    static void on_disconnect_cb(mosquitto*, void* obj, int rc);
    static void on_message_cb(mosquitto*, void* obj, const mosquitto_message* m);
    static void on_publish_cb(mosquitto*, void* obj, int mid);

    MqttSettings settings_;
    std::vector<std::string> subscriptions_;
    Handlers handlers_;
    std::thread thread_;
    posix::Wakeup wake_;

    // MQTT thread only.
    mosquitto* mosq_ = nullptr;
    std::shared_ptr<Attempt> attempt_;  // the worker connecting, if any
    std::shared_ptr<Attempt> stale_;    // one given up on whose worker still runs
    Phase phase_ = Phase::Idle;
    Steady::time_point deadline_{};  // of the attempt, or of the next one when idle
    Steady::time_point next_misc_{};
    ReconnectPolicy policy_;
    InstanceProbe probe_;
    bool owner_ = false;  // the probe passed once; later connects do not ask again
    bool taken_over_ = false;
    bool mqtt5_ = true;
    bool connack_seen_ = false;
    int connack_rc_ = 0;
    bool disconnected_ = false;
    int disconnect_rc_ = 0;
    bool tls_error_logged_ = false;
    std::string last_failure_;
    std::vector<Incoming> incoming_;  // noted by the callback, handled after the loop call
    std::set<int> unacknowledged_;  // QoS 1 messages of this connection

    mutable std::mutex m_;
    std::map<std::string, std::string> retained_;  // topic -> payload, in topic order
    std::deque<Outgoing> outbox_;
    bool stopping_ = false;
    std::string last_words_;
    bool connected_ = false;
    bool republish_due_ = false;
    Steady::time_point republish_at_{};
};

}  // namespace zd::daemon
