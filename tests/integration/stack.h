#pragma once
// The program tests' stack: a private mosquitto on a free loopback port,
// the simulator on a pty with its traffic log, zendrilld between them, an
// MQTT client that keeps every message it gets, and zendrill-cli runs.
// Every wait is for a condition, with a deadline.
#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <set>

#include <nlohmann/json.hpp>

#include "tests/integration/program.h"
#include "tests/integration/traffic.h"

namespace zd::test {

// A loopback port no one listens on now: the kernel's pick for port 0.
inline int free_loopback_port() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
        close(fd);
        return -1;
    }
    close(fd);
    return ntohs(a.sin_port);
}

inline bool accepts_connections(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

inline std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// LD_PRELOAD for `library`, behind the sanitizer's runtime where there is one.
inline std::string preload(const std::string& library) {
    const std::string first = PRELOAD_FIRST;
    return first.empty() ? library : first + " " + library;
}

// The peak resident memory of a process, in KiB.
inline long peak_rss_kib(pid_t pid) {
    std::istringstream in(read_text("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Whether a TCP socket of this network namespace is in SYN_SENT towards
// 127.0.0.1:`port`: a connect that waits for an answer.
inline bool syn_sent_to(int port) {
    char remote[32];
    std::snprintf(remote, sizeof remote, "0100007F:%04X", port);
    std::istringstream in(read_text("/proc/net/tcp"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, rem, state;
        fields >> slot >> local >> rem >> state;
        if (rem == remote && state == "02") return true;
    }
    return false;
}

// A TCP listener on 127.0.0.1 that speaks no MQTT. Silent, it takes every
// connection and never answers; full, its accept queue holds one connection
// that is never taken, so every further SYN goes unanswered.
class DeafListener {
public:
    enum class Kind { Silent, Full };
    int port = -1;

    explicit DeafListener(Kind kind) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, kind == Kind::Full ? 0 : 16) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            return;
        port = ntohs(a.sin_port);
        if (kind == Kind::Full) {
            filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) port = -1;
        }
    }
    ~DeafListener() {
        for (int fd : taken_) close(fd);
        if (filler_ >= 0) close(filler_);
        if (fd_ >= 0) close(fd_);
    }
    DeafListener(const DeafListener&) = delete;
    DeafListener& operator=(const DeafListener&) = delete;

    // Takes the next connection within `limit`; it stays open, unanswered.
    bool take(milliseconds limit) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(limit.count())) != 1) return false;
        const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) return false;
        taken_.push_back(c);
        return true;
    }

private:
    int fd_ = -1;
    int filler_ = -1;
    std::vector<int> taken_;
};

// mosquitto on 127.0.0.1 with a configuration of its own, keeping nothing
// across a restart. Its log goes to stderr, which is unbuffered.
class Broker {
public:
    int port = -1;

    void start(const std::string& dir, int on_port) {
        port = on_port;
        const std::string conf = dir + "/mosquitto.conf";
        write_text(conf, "listener " + std::to_string(port) +
                             " 127.0.0.1\n"
                             "allow_anonymous true\n"
                             "persistence false\n"
                             "max_queued_messages 0\n"
                             "log_dest stderr\n"
                             "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n");
        proc_.start(MOSQUITTO_PATH, {"-c", conf});
        // Listening, or ended: either settles the wait.
        ASSERT_TRUE(eventually([&] { return accepts_connections(port) || !proc_.running(); }, seconds(10)))
            << "mosquitto does not listen on " << port;
        ASSERT_TRUE(proc_.running()) << "mosquitto ended: " << proc_.err();
    }
    int stop() { return proc_.stop(SIGTERM, seconds(10)); }
    std::string log() const { return proc_.err(); }
    bool wait_log(const std::string& text, milliseconds limit) { return proc_.wait_err(text, limit); }

private:
    Program proc_;
};

// b203sim on a pty linked to `link`, logging to `log`.
class Simulator {
public:
    void start(const std::string& link, const std::string& log, const std::vector<std::string>& options) {
        log_ = log;
        std::vector<std::string> args = {"--link", link, "--log", log};
        args.insert(args.end(), options.begin(), options.end());
        proc_.start(B203SIM_PATH, args);
        // It prints the pty's path once the link is in place.
        ASSERT_TRUE(proc_.first_line(seconds(10))) << "b203sim did not start: " << proc_.err();
    }
    void kill() { proc_.stop(SIGKILL, seconds(10)); }
    int stop() { return proc_.stop(SIGTERM, seconds(10)); }
    const std::string& log_path() const { return log_; }
    Traffic traffic(std::size_t from = 0) const { return Traffic::read(log_, from); }
    std::vector<std::string> received() const { return traffic().received(); }

private:
    Program proc_;
    std::string log_;
};

struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
};

// An MQTT client on its own network thread that keeps every message it
// receives, in order.
class MqttClient {
public:
    explicit MqttClient(const std::string& id) {
        static const int init = mosquitto_lib_init();
        (void)init;
        mosq_ = mosquitto_new(id.c_str(), true, this);
        mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
            static_cast<MqttClient*>(self)->on_connect(rc);
        });
        mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<MqttClient*>(self)->on_subscribed();
        });
        mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
            static_cast<MqttClient*>(self)->on_message(m);
        });
    }
    ~MqttClient() {
        if (started_) {
            mosquitto_disconnect(mosq_);
            mosquitto_loop_stop(mosq_, false);
        }
        mosquitto_destroy(mosq_);
    }
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Connects and subscribes; true once the broker has confirmed every
    // subscription, so whatever is published from then on arrives here.
    bool connect(int port, const std::vector<std::string>& topics, milliseconds limit = seconds(10)) {
        topics_ = topics;
        if (mosquitto_connect(mosq_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) return false;
        if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) return false;
        started_ = true;
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, limit, [&] { return subscribed_ >= topics_.size(); });
    }

    void publish(const std::string& topic, const std::string& payload, bool retain = false, int qos = 1) {
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos, retain);
    }

    std::size_t count() const {
        std::lock_guard<std::mutex> lock(m_);
        return messages_.size();
    }
    std::vector<Message> messages() const {
        std::lock_guard<std::mutex> lock(m_);
        return messages_;
    }
    // The first message from index `from` on for which `match` holds,
    // waiting up to `limit`; `at` gets its index.
    std::optional<Message> wait(std::size_t from, const std::function<bool(const Message&)>& match,
                                milliseconds limit, std::size_t* at = nullptr) {
        std::unique_lock<std::mutex> lock(m_);
        std::optional<Message> found;
        cv_.wait_for(lock, limit, [&] {
            for (std::size_t i = from; i < messages_.size(); ++i) {
                if (!match(messages_[i])) continue;
                found = messages_[i];
                if (at) *at = i;
                return true;
            }
            from = messages_.size();
            return false;
        });
        return found;
    }
    // Waits until `done(messages)` holds, at most `limit`.
    bool wait_until(const std::function<bool(const std::vector<Message>&)>& done, milliseconds limit) {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, limit, [&] { return done(messages_); });
    }

private:
    void on_connect(int rc) {
        if (rc != 0) return;
        for (const std::string& t : topics_) mosquitto_subscribe(mosq_, nullptr, t.c_str(), 1);
    }
    void on_subscribed() {
        std::lock_guard<std::mutex> lock(m_);
        ++subscribed_;
        cv_.notify_all();
    }
    void on_message(const mosquitto_message* m) {
        Message msg;
        msg.topic = m->topic;
        if (m->payloadlen > 0) msg.payload.assign(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen));
        msg.retained = m->retain;
        std::lock_guard<std::mutex> lock(m_);
        messages_.push_back(std::move(msg));
        cv_.notify_all();
    }

    mosquitto* mosq_ = nullptr;
    bool started_ = false;
    std::vector<std::string> topics_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::size_t subscribed_ = 0;
    std::vector<Message> messages_;
};

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

// The whole stack for one test. The smoke test runs a cross build's
// programs through `runner`, the emulator's command words.
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
    std::vector<std::string> runner;  // empty: the programs run natively
    std::string zendrilld = ZENDRILLD_PATH, zendrill_cli = ZENDRILL_CLI_PATH;

    void SetUp() override {
        dir = make_temp_dir("zendrilld-test");
        ASSERT_FALSE(dir.empty());
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
            // Never the machine's own state directory.
            {"http_session_file", dir + "/http-sessions"},
            {"journal_file", dir + "/journal.db"},
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
        remove_tree(dir);
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
        ASSERT_NO_FATAL_FAILURE(launch(daemon, zendrilld, {"--config", config_path(), "--verbose"}, env));
    }
    // Starts `program` of the build under test, through the runner if any.
    void launch(Program& p, const std::string& program, const std::vector<std::string>& args,
                const Program::Environment& env) {
        if (runner.empty()) return p.start(program, args, env);
        std::vector<std::string> all(runner.begin() + 1, runner.end());
        all.push_back(program);
        all.insert(all.end(), args.begin(), args.end());
        p.start(runner.front(), all, env);
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
        Traffic traffic;
        std::size_t from = 0;   // the watch's messages from here on came after the command
        std::size_t after = 0;  // past the result (and past `then` when given)
        Json then;              // the message on `then`, when given
    };
    // Publishes a command, waits for its result and then for the message on
    // `then` that the daemon publishes last for it ("" when the result comes
    // last). On a quiet line the lines received meanwhile are the command's.
    void command(const std::string& below, const std::string& payload, const std::string& then, Step& s) {
        const std::size_t traffic_before = sim.traffic().size();
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
        s.traffic = sim.traffic(traffic_before);
        s.rx = s.traffic.received();
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

    // A zendrill-cli run to its end, borrowing the line from the daemon.
    CliRun cli(const std::vector<std::string>& args) {
        Program p;
        launch(p, zendrill_cli, args, {{"ZENDRILL_SOCKET", socket_path()}, {"ZENDRILL_PORT", std::nullopt}});
        return finish(p);
    }
};

}  // namespace zd::test
