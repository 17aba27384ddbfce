#pragma once
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/posix/unix_socket.h"

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
};

// The connection to the broker on a thread of its own: it connects and
// reconnects with back-off (1 s to 60 s), keeps every retained message it
// was given and sends them all again after each connect, and sleeps in
// poll() between packets and keep-alives. Every other thread only queues.
class MqttLink {
public:
    // Called on the MQTT thread. `connected` runs after each connect, once
    // the subscriptions are made and the retained messages sent.
    struct Handlers {
        std::function<void(const std::string& topic, const std::string& payload, bool retained)> message;
        std::function<void()> connected;
        std::function<void(const std::string& line)> log;  // Windows-1252
    };
    MqttLink(MqttSettings settings, std::vector<std::string> subscriptions, Handlers handlers);
    ~MqttLink();

    void start();
    // Sends `last_words` (retained) to the will topic, disconnects cleanly
    // and ends the thread; waits at most about two seconds for the broker.
    void stop(const std::string& last_words);

    // Thread-safe. Retained messages replace the one kept for their topic;
    // others are sent when connected and dropped otherwise.
    void publish(const std::string& topic, const std::string& payload, bool retain);
    // Every retained message again after `delay` (Home Assistant came back).
    void republish_after(std::chrono::milliseconds delay);

    bool connected() const;

    // For the MQTT thread's callbacks.
    void on_connect(int rc);
    void on_disconnect(int rc);
    void on_message(const mosquitto_message* m);
    void on_published(int mid);

private:
    struct Outgoing {
        std::string topic;
        std::string payload;
        bool retain = false;
    };
    void run();
    void flush_outbox();
    void send(const Outgoing& o);
    void log(const std::string& line);

    MqttSettings settings_;
    std::vector<std::string> subscriptions_;
    Handlers handlers_;
    mosquitto* mosq_ = nullptr;
    std::thread thread_;
    posix::Wakeup wake_;
    std::set<int> unacknowledged_;  // QoS 1 messages of this connection; MQTT thread only

    mutable std::mutex m_;
    std::map<std::string, std::string> retained_;  // topic -> payload, in topic order
    std::deque<Outgoing> outbox_;
    bool stopping_ = false;
    std::string last_words_;
    bool connected_ = false;
    bool republish_due_ = false;
    std::chrono::steady_clock::time_point republish_at_{};
};

}  // namespace zd::daemon
