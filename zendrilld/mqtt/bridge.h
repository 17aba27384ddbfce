#pragma once
#include <atomic>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "core/json_objects.h"
#include "zendrilld/daemon_config.h"
#include "zendrilld/device_picture.h"
#include "zendrilld/log.h"
#include "zendrilld/requests.h"

namespace zd::daemon {

class MqttLink;
class LineThread;

// Between the picture and MQTT: the topics and their payloads, the discovery
// message, and the commands coming in, which wait out a loan of the line.
// Without a broker it only logs. The view runs on the line's thread,
// on_message() and on_oversized() on the MQTT thread, the rest on the main
// thread before the threads start or after they end.
class Bridge {
public:
    Bridge(const DaemonConfig& config, Log& log);

    void attach(MqttLink* mqtt, LineThread* line);
    // The view to register with the picture.
    DevicePicture::View view();

    std::string topic(const std::string& below_base) const;
    std::string discovery_topic() const;
    std::vector<std::string> subscriptions() const;
    // Where every zendrilld of this base topic answers a newcomer.
    std::string probe_topic() const { return topic("probe"); }
    // The device-based discovery message (UTF-8 JSON).
    std::string discovery() const;
    // Retained topics the daemon owns, for --remove-discovery.
    std::vector<std::string> retained_topics() const;

    // What goes out first: bridge online, link offline until a record says
    // otherwise, discovery.
    void announce();
    // At the end: link offline, and nothing the line still says goes out after it.
    void link_down_for_good();

    // From the MQTT thread.
    void on_message(const std::string& topic, const std::string& payload, bool retained);
    // A message over kMaxPayloadBytes, dropped unread.
    void on_oversized(const std::string& topic, std::size_t size, bool retained);

    // Payloads, also for tests.
    std::string state_payload(const std::string& record, long long drift_s, const LocalTime& read_at) const;
    std::string timer_payload(const ListedTimer& timer) const;
    std::string result_payload(const std::string& command, bool ok, const std::string& message_1252) const;

private:
    // A message for us that may run: below the base topic, not retained.
    // `sub` is the topic below the base.
    bool command_below_base(const std::string& topic, bool retained, std::string& sub);
    void publish(const std::string& below_base, const std::string& payload, bool retain);

    const DaemonConfig& config_;
    Log& log_;
    MqttLink* mqtt_ = nullptr;
    LineThread* line_ = nullptr;
    std::atomic<bool> closed_{false};
    ValueNames names_ = make_value_names();
    std::mutex random_m_;
    std::mt19937 random_{std::random_device{}()};
};

}  // namespace zd::daemon
