#include "zendrilld/mqtt/bridge.h"

#include "core/setting_fields.h"
#include "core/timer_text.h"
#include "core/validation.h"
#include "core/utf8.h"
#include "core/version.h"
#include "device/text_util.h"
#include "zendrilld/device_picture.h"
#include "zendrilld/line_thread.h"
#include "zendrilld/mqtt/mqtt_link.h"
#include "zendrilld/requests.h"

namespace zd::daemon {

namespace {

using json = JsonObject;

}  // namespace

Bridge::Bridge(const DaemonConfig& config, Log& log) : config_(config), log_(log) {}

void Bridge::attach(MqttLink* mqtt, LineThread* line) {
    mqtt_ = mqtt;
    line_ = line;
}

std::string Bridge::topic(const std::string& below_base) const { return config_.base_topic + "/" + below_base; }

std::string Bridge::discovery_topic() const {
    return config_.discovery_prefix + "/device/zendrill_" + config_.device_id + "/config";
}

std::vector<std::string> Bridge::subscriptions() const {
    return {topic("set/#"), topic("cmd/#"), config_.discovery_prefix + "/status"};
}

std::vector<std::string> Bridge::retained_topics() const {
    std::vector<std::string> t = {discovery_topic(), topic("state"), topic("link"), topic("bridge"), topic("reply"),
                                    topic("clock_rate")};
    for (int n = 1; n <= 5; ++n) t.push_back(topic("timer/" + std::to_string(n)));
    return t;
}

void Bridge::publish(const std::string& below_base, const std::string& payload, bool retain) {
    if (mqtt_ && !closed_) mqtt_->publish(topic(below_base), payload, retain);
}

std::string Bridge::state_payload(const std::string& record, long long drift_s, const LocalTime& read_at) const {
    return state_object({record, drift_s, read_at}, names_).dump();
}

std::string Bridge::timer_payload(const ListedTimer& t) const { return timer_view_object(t, config_).dump(); }

std::string Bridge::result_payload(const std::string& command, bool ok, const std::string& message) const {
    json j;
    std::string shown;
    j["command"] = utf8_to_1252(command, shown) ? command : utf8_from_1252(command);
    j["ok"] = ok;
    j["message"] = utf8_from_1252(message);
    return j.dump();
}

DevicePicture::View Bridge::view() {
    return [this](const Picture& p, const Change& c) {
        switch (c.what) {
            case Change::What::Status:
                publish("state", state_payload(p.status->record, p.status->drift_s, p.status->read_at), true);
                break;
            case Change::What::Timer:
                // A forgotten timer keeps its last message until it is read again.
                if (const auto& t = p.timers[static_cast<std::size_t>(c.timer - 1)])
                    publish("timer/" + std::to_string(c.timer), timer_payload(*t), true);
                break;
            case Change::What::Answering: publish("link", p.available() ? "online" : "offline", true); break;
            case Change::What::Event: publish("event", c.event.dump(), false); break;
            case Change::What::Reply: publish("reply", utf8_from_1252(p.last_reply), true); break;
            case Change::What::ClockRate: publish("clock_rate", clock_rate_object(p.clock_rate).dump(), true); break;
            case Change::What::Link: break;  // a loan: commands wait for the line, see Picture::available
        }
    };
}

void Bridge::announce() {
    publish("bridge", "online", true);
    publish("link", "offline", true);
    if (mqtt_) mqtt_->publish(discovery_topic(), discovery(), true);
}

void Bridge::link_down_for_good() {
    closed_ = true;
    if (mqtt_) mqtt_->publish(topic("link"), "offline", true);
}

void Bridge::on_message(const std::string& t, const std::string& payload, bool retained) {
    if (t == config_.discovery_prefix + "/status") {
        if (payload == "online" && mqtt_) {
            // Spread the answers of many devices over a few seconds.
            int delay_ms = 0;
            {
                std::lock_guard<std::mutex> lock(random_m_);
                delay_ms = std::uniform_int_distribution<int>(0, 5000)(random_);
            }
            mqtt_->republish_after(std::chrono::milliseconds(delay_ms));
        }
        return;
    }
    std::string sub;
    if (!command_below_base(t, retained, sub)) return;
    const Parsed p = parse_request(sub, payload, config_.raw_commands, names_);
    if (!p.ok) {
        log_.line("Befehl abgelehnt: " + p.message);
        publish("result", result_payload(p.request.command, false, p.message), false);
        return;
    }
    if (!line_) return;
    Request r = p.request;
    r.asker = Door::HomeAssistant;
    r.reply = [this, command = r.command](const Outcome& o) {
        publish("result", result_payload(command, o.ok(), o.message), false);
    };
    line_->submit(std::move(r), WhenAway::Wait);
}

bool Bridge::command_below_base(const std::string& t, bool retained, std::string& sub) {
    const std::string prefix = config_.base_topic + "/";
    if (t.compare(0, prefix.size(), prefix) != 0) return false;
    sub = t.substr(prefix.size());
    if (retained) {
        // A retained command would run again after every reconnect.
        log_.line("Gespeicherte (retained) Nachricht an " + sub + " nicht ausgeführt");
        return false;
    }
    return true;
}

void Bridge::on_oversized(const std::string& t, std::size_t size, bool retained) {
    std::string sub;
    if (!command_below_base(t, retained, sub)) return;
    log_.line("Befehl abgelehnt: " + too_long_text(size));
    publish("result", result_payload(command_of(sub), false, too_long_text(size)), false);
}

std::string Bridge::discovery() const {
    const std::string id = "zendrill_" + config_.device_id;
    json cmps = json::object();
    const auto add = [&](const std::string& key, const std::string& platform, const std::string& name_1252,
                         json fields) {
        json c;
        c["p"] = platform;
        c["name"] = utf8_from_1252(name_1252);
        c["unique_id"] = id + "_" + key;
        c["default_entity_id"] = platform + "." + id + "_" + key;
        for (auto& [k, v] : fields.items()) c[k] = v;
        cmps[key] = c;
    };
    const std::string state = topic("state");
    add("clock", "sensor", "Geräteuhr",
        {{"device_class", "timestamp"},
         {"state_topic", state},
         {"value_template", "{{ value_json.date ~ 'T' ~ value_json.time ~ value_json.read_at[-6:] }}"}});
    add("clock_drift", "sensor", "Uhrabweichung",
        {{"device_class", "duration"},
         {"unit_of_measurement", "s"},
         {"state_class", "measurement"},
         {"state_topic", state},
         {"value_template", "{{ value_json.drift_s }}"}});
    add("clock_rate", "sensor", "Gangabweichung",
        {{"unit_of_measurement", "s/d"},
         {"state_class", "measurement"},
         {"icon", "mdi:timer-sync-outline"},
         {"state_topic", topic("clock_rate")},
         {"value_template", "{{ value_json.rate_s_per_day }}"},
         {"json_attributes_topic", topic("clock_rate")}});
    for (const SettingField& f : kSettingFields)
        add(f.topic, "select", f.label,
            {{"command_topic", topic(std::string("set/") + f.topic)},
             {"state_topic", state},
             {"value_template", std::string("{{ value_json.") + f.key + " }}"},
             {"options", utf8_list(f.values(names_))}});
    add("ir", "switch", "IR-Empfänger",
        {{"command_topic", topic("set/ir")},
         {"payload_on", "ON"},
         {"payload_off", "OFF"},
         {"state_topic", state},
         {"value_template", "{{ value_json.ir }}"},
         {"state_on", "ein"},
         {"state_off", "aus"}});
    add("clock_sync", "button", "Uhr stellen", {{"command_topic", topic("cmd/clock_sync")}, {"payload_press", "PRESS"}});
    add("hour_forward", "button", "Uhr +1 h", {{"command_topic", topic("cmd/clock_shift")}, {"payload_press", "+1"}});
    add("hour_back", "button", "Uhr -1 h", {{"command_topic", topic("cmd/clock_shift")}, {"payload_press", "-1"}});
    add("refresh", "button", "Aktualisieren", {{"command_topic", topic("cmd/refresh")}, {"payload_press", "PRESS"}});
    for (int n = 1; n <= 5; ++n) {
        const std::string d = std::to_string(n);
        const std::string timer = topic("timer/" + d);
        add("timer_" + d, "sensor", "Timer " + d,
            {{"state_topic", timer}, {"value_template", "{{ value_json.summary }}"}, {"json_attributes_topic", timer}});
        add("timer_" + d + "_record", "text", "Timer " + d + " Datensatz",
            {{"command_topic", topic("set/timer/" + d)},
             {"state_topic", timer},
             {"value_template", "{{ value_json.record }}"},
             {"pattern", std::string("^(|") + kRecordPattern + ")$"},  // empty: the field cleared
             {"min", 0},
             {"max", 27},
             {"entity_category", "config"}});
        add("timer_" + d + "_test", "button", "Timer " + d + " testen",
            {{"command_topic", topic("cmd/test/" + d)}, {"payload_press", "PRESS"}});
        add("timer_" + d + "_erase", "button", "Timer " + d + " löschen",
            {{"command_topic", topic("cmd/erase/" + d)}, {"payload_press", "PRESS"}});
    }
    json types = json::array();
    for (EventType type : kEventTypes) types.push_back(event_name(type));
    add("event", "event", "Ereignis", {{"state_topic", topic("event")}, {"event_types", types}});
    if (config_.raw_commands) {
        add("command", "text", "Befehlszeile", {{"command_topic", topic("cmd/send")}, {"max", 255}});
        add("last_reply", "sensor", "Letzte Rückmeldung", {{"state_topic", topic("reply")}});
    }
    json d;
    d["dev"] = {{"identifiers", json::array({id})}, {"name", "B203"}, {"model", "B203"}};
    d["o"] = {{"name", "zendrilld"}, {"sw", ZD_VERSION_TEXT}, {"url", ZD_PROJECT_URL}};
    d["availability"] = json::array({{{"topic", topic("bridge")}}, {{"topic", topic("link")}}});
    d["availability_mode"] = "all";
    d["cmps"] = cmps;
    return d.dump();
}

}  // namespace zd::daemon
