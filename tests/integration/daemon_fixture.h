#pragma once
// zendrilld as a child process between the simulator on a pty and a private
// mosquitto, watched over MQTT, in its own log and in the simulator's
// traffic log: the fixture of the daemon's program tests, MQTT and HTTP.
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <set>

#include <nlohmann/json.hpp>

#include "tests/integration/daemon_harness.h"

namespace zd::test {

using Json = nlohmann::json;

inline constexpr auto kWait = seconds(20);  // for what takes a second or two

inline const char* const kTimer2 = "W01010100050010063000071500";  // Mo We Fr 06:30-07:15, tuner 05
inline const char* const kTimer3 = "D2403260121000200000213000";   // 24.03.26 20:00-21:30, tuner 12

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

inline Json parsed(const std::string& payload) { return Json::parse(payload, nullptr, false); }

inline std::tm local_tm(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

inline std::string two(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

inline std::string hhmmss(const std::tm& tm) { return two(tm.tm_hour) + two(tm.tm_min) + two(tm.tm_sec); }
inline std::string ddmmyy(const std::tm& tm) { return two(tm.tm_mday) + two(tm.tm_mon + 1) + two(tm.tm_year % 100); }

// Seconds between two HHMMSS times of day, across midnight the short way.
inline long day_seconds_apart(const std::string& a, const std::string& b) {
    const auto secs = [](const std::string& t) {
        return std::stol(t.substr(0, 2)) * 3600 + std::stol(t.substr(2, 2)) * 60 + std::stol(t.substr(4, 2));
    };
    long d = std::labs(secs(a) - secs(b));
    return std::min(d, 86400 - d);
}

class DaemonProgramTest : public ::testing::Test {
protected:
    const std::string base = "zendrill/test";
    const std::string discovery_topic = "homeassistant/device/zendrill_test/config";
    std::string dir;
    Broker broker;
    Simulator sim;
    Program daemon;
    std::unique_ptr<MqttClient> watch;  // subscribed to everything before the daemon starts
    std::map<std::string, std::string> config;
    int http_port = -1;  // the web page's, on 127.0.0.1

    void SetUp() override {
        char tmpl[] = "/tmp/zendrilld-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        const int port = free_loopback_port();
        ASSERT_GT(port, 0);
        config = {
            {"port", link()},
            {"poll_status_s", "10"},
            {"control_socket", socket_path()},
            {"mqtt_host", "127.0.0.1"},
            {"mqtt_port", std::to_string(port)},
            {"device_id", "test"},
            {"station12", u8"Südwest 3"},
        };
        ASSERT_NO_FATAL_FAILURE(broker.start(dir, port));
        // Picked while the broker holds its port, so the two differ; never
        // the default 8203, which another daemon on the machine may hold.
        http_port = free_loopback_port();
        ASSERT_GT(http_port, 0);
        config["http_listen"] = "127.0.0.1:" + std::to_string(http_port);
        watch = std::make_unique<MqttClient>("watch");
        ASSERT_TRUE(watch->connect(broker.port, {"#"}));
    }

    void TearDown() override {
        daemon.stop(SIGKILL, seconds(10));
        sim.kill();
        if (HasFailure()) {
            std::cout << "--- zendrilld's log\n" << daemon.err() << "--- the simulator's log\n"
                      << read_text(sim.log_path()) << "--- mosquitto's log\n" << broker.log() << "---\n";
        }
        watch.reset();
        broker.stop();
        std::system(("rm -rf " + dir).c_str());
    }

    std::string link() const { return dir + "/b203"; }
    std::string socket_path() const { return dir + "/zendrilld.sock"; }
    std::string config_path() const { return dir + "/zendrilld.ini"; }
    std::string topic(const std::string& below) const { return base + "/" + below; }

    // No poll falls due while a test runs: every line on the wire is then
    // the start-up's or a command's.
    void quiet_line() {
        config["poll_status_s"] = "3600";
        config["poll_timers_s"] = "86400";
    }

    void start_sim(const std::vector<std::string>& options, const std::string& log_name = "sim.log") {
        ASSERT_NO_FATAL_FAILURE(sim.start(link(), dir + "/" + log_name, options));
    }

    void write_config() { write_config(config, config_path()); }
    static void write_config(const std::map<std::string, std::string>& c, const std::string& path) {
        std::string text;
        for (const auto& [key, value] : c) text += key + " = " + value + "\n";
        write_text(path, text);
    }

    void start_daemon(Program::Environment env = {}) {
        write_config();
        env["ZENDRILL_PORT"] = std::nullopt;
        ASSERT_NO_FATAL_FAILURE(daemon.start(ZENDRILLD_PATH, {"--config", config_path(), "--verbose"}, env));
    }

    // The first message on `below` at or after `from` that `match` accepts;
    // `from` moves past it.
    std::optional<Message> next_where(const std::string& below, std::size_t& from,
                                      const std::function<bool(const Message&)>& match, milliseconds limit = kWait) {
        std::size_t at = 0;
        const std::string t = topic(below);
        auto m = watch->wait(from, [&](const Message& x) { return x.topic == t && match(x); }, limit, &at);
        if (m) from = at + 1;
        return m;
    }
    std::optional<Message> next(const std::string& below, std::size_t& from, milliseconds limit = kWait) {
        return next_where(below, from, [](const Message&) { return true; }, limit);
    }
    std::optional<Message> next_with(const std::string& below, const std::string& payload, std::size_t& from,
                                     milliseconds limit = kWait) {
        return next_where(below, from, [&](const Message& x) { return x.payload == payload; }, limit);
    }
    // The JSON message on `below` whose `key` is `value`.
    std::optional<Json> json_where(const std::string& below, const char* key, const std::string& value,
                                   std::size_t& from, milliseconds limit) {
        auto m = next_where(below, from, [&](const Message& x) { return parsed(x.payload).value(key, "") == value; },
                            limit);
        if (!m) return std::nullopt;
        return parsed(m->payload);
    }
    // The result for `command` at or after `from`.
    std::optional<Json> result_of(const std::string& command, std::size_t& from, milliseconds limit = kWait) {
        return json_where("result", "command", command, from, limit);
    }
    std::optional<Json> event_of(const std::string& type, std::size_t& from, milliseconds limit = kWait) {
        return json_where("event", "event_type", type, from, limit);
    }

    // Start-up done: link online, status and all five timers read.
    void wait_started(std::size_t from = 0) {
        std::size_t f = from;
        ASSERT_TRUE(next_with("link", "online", f)) << "link never online";
        f = from;
        ASSERT_TRUE(next("timer/5", f)) << "timer 5 never published";
    }

    struct Step {
        Json result;
        std::vector<std::string> rx;  // the lines the device received
        std::vector<SimEntry> traffic;
        std::size_t from = 0;   // the watch's messages from here on came after the command
        std::size_t after = 0;  // past the result (and past `then` when given)
        Json then;              // the message on `then`, when given
    };
    // Publishes a command, waits for its result and then for the message on
    // `then` that the daemon publishes last for it ("" when the result comes
    // last). On a quiet line the lines received meanwhile are the command's.
    void command(const std::string& below, const std::string& payload, const std::string& then, Step& s) {
        const std::size_t traffic_before = sim.entries().size();
        s.from = watch->count();
        watch->publish(topic(below), payload);
        std::size_t f = s.from;
        auto r = result_of(below, f);
        ASSERT_TRUE(r) << "no result for " << below;
        s.result = *r;
        if (!then.empty()) {
            auto m = next(then, f);
            ASSERT_TRUE(m) << "nothing on " << then << " after " << below;
            s.then = parsed(m->payload);
        }
        s.after = f;
        const auto entries = sim.entries();
        s.traffic.assign(entries.begin() + static_cast<long>(traffic_before), entries.end());
        s.rx.clear();
        for (const SimEntry& e : s.traffic)
            if (e.kind == "RX") s.rx.push_back(e.bytes.substr(0, e.bytes.find('\r')));
    }

    // The reply the device sent to the command line `line` in `traffic`.
    static std::string reply_to(const std::vector<SimEntry>& traffic, const std::string& line) {
        for (std::size_t i = 0; i < traffic.size(); ++i) {
            if (traffic[i].kind != "RX" || traffic[i].bytes != line + "\r") continue;
            for (std::size_t j = i + 1; j < traffic.size(); ++j) {
                if (traffic[j].kind == "RX") break;
                if (traffic[j].kind == "TX") return traffic[j].bytes.substr(0, traffic[j].bytes.find('\r'));
            }
        }
        return "";
    }

    // Every record the device sent for a status query.
    std::set<std::string> status_records() const {
        std::set<std::string> out;
        for (const SimEntry& e : sim.entries())
            if (e.kind == "TX" && e.bytes.rfind("0X:", 0) == 0) out.insert(e.bytes.substr(0, e.bytes.find('\r')));
        return out;
    }

    // Borrows the line over the control socket as zendrill-cli does: the
    // socket once the daemon has answered LENT (the loan lasts until it is
    // closed), or -1.
    int hold_loan() {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", socket_path().c_str());
        const std::string ask = "LEND " + link() + "\n";
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            write(fd, ask.data(), ask.size()) != static_cast<ssize_t>(ask.size())) {
            close(fd);
            return -1;
        }
        std::string answer;
        char c = 0;
        pollfd p{fd, POLLIN, 0};
        while (answer.find('\n') == std::string::npos && poll(&p, 1, 20000) == 1 && read(fd, &c, 1) == 1) answer += c;
        if (answer == "LENT\n") return fd;
        ADD_FAILURE() << "the loan was answered " << answer;
        close(fd);
        return -1;
    }

    // A zendrill-cli run to its end.
    struct CliRun {
        int status = -1;
        std::string out, err;
    };
    CliRun cli(const std::vector<std::string>& args) {
        Program p;
        p.start(ZENDRILL_CLI_PATH, args, {{"ZENDRILL_SOCKET", socket_path()}, {"ZENDRILL_PORT", std::nullopt}});
        CliRun r;
        const auto status = p.wait_exit(seconds(60));
        r.status = status ? *status : p.stop(SIGKILL, seconds(5));
        r.out = p.out();
        r.err = p.err();
        return r;
    }
};

}  // namespace zd::test
