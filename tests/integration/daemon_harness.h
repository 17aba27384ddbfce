#pragma once
// What the zendrilld program tests run: child programs whose output is
// collected as it comes, a private mosquitto on a free loopback port, the
// simulator on a pty with its traffic log, and an MQTT client that keeps
// every message it gets. Every wait is for a condition, with a deadline.
#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "sim/escape.h"
#include "tests/integration/child_process.h"

extern char** environ;

namespace zd::test {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A child program. Its stdout and stderr are read on a thread as they come,
// so it never stops on a full pipe. It is killed and reaped at the latest
// with its owner, and dies with the test program should that end first.
class Program {
public:
    using Environment = std::map<std::string, std::optional<std::string>>;  // nullopt: unset

    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() {
        kill_now();
        expect_no_sanitizer_report();
    }

    void start(const std::string& path, const std::vector<std::string>& args, const Environment& changes = {}) {
        kill_now();
        expect_no_sanitizer_report();
        path_ = path;
        {
            std::lock_guard<std::mutex> lock(m_);
            out_.clear();
            err_.clear();
            exit_status_.reset();
        }
        // The environment is made here: between fork and exec only plain stores are safe.
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (!changes.count(entry.substr(0, entry.find('=')))) env.push_back(entry);
        }
        for (const auto& [name, value] : changes)
            if (value) env.push_back(name + "=" + *value);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        child_ = spawn_program(path, args, [&] {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            // None of the test's sockets and pipes live on in the child.
            for (int fd = 3; fd < 1024; ++fd) close(fd);
            environ = envp.data();
        });
        ASSERT_GT(child_.pid, 0) << path;
        reader_ = std::thread([this, out = child_.out, err = child_.err] { collect(out, err); });
    }

    pid_t pid() const { return child_.pid; }

    // The exit status (128 + signal when killed) once the child has ended
    // within `limit`; nothing while it still runs.
    std::optional<int> wait_exit(milliseconds limit) {
        const auto until = Steady::now() + limit;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_);
                if (exit_status_) return exit_status_;
            }
            if (child_.pid <= 0) return std::nullopt;
            int status = 0;
            const pid_t r = waitpid(child_.pid, &status, WNOHANG);
            if (r == child_.pid) {
                if (reader_.joinable()) reader_.join();
                std::lock_guard<std::mutex> lock(m_);
                exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return exit_status_;
            }
            if (Steady::now() >= until) return std::nullopt;
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    bool running() { return child_.pid > 0 && !wait_exit(milliseconds(0)); }

    // Sends `signal` and waits up to `limit` for the end; a child that does
    // not end is killed. The exit status, or -1 when it had to be killed.
    int stop(int signal, milliseconds limit) {
        if (child_.pid <= 0) return -1;
        if (running()) ::kill(child_.pid, signal);
        if (auto s = wait_exit(limit)) return *s;
        kill_now();
        return -1;
    }

    std::string out() const {
        std::lock_guard<std::mutex> lock(m_);
        return out_;
    }
    // A report of a sanitizer in the child's stderr fails the test that ran it.
    void expect_no_sanitizer_report() const {
        const std::string e = err();
        for (const char* mark : {"Sanitizer", "runtime error:"})
            EXPECT_EQ(e.find(mark), std::string::npos) << path_ << " reports:\n" << e;
    }
    std::string err() const {
        std::lock_guard<std::mutex> lock(m_);
        return err_;
    }
    // Waits until `done(stdout, stderr)` holds, at most `limit`.
    bool wait_output(const std::function<bool(const std::string&, const std::string&)>& done, milliseconds limit) {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, limit, [&] { return done(out_, err_); });
    }
    bool wait_err(const std::string& text, milliseconds limit) {
        return wait_output([&](const std::string&, const std::string& e) { return e.find(text) != std::string::npos; },
                           limit);
    }

private:
    void collect(int out, int err) {
        pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
        int open = 2;
        while (open > 0) {
            if (poll(fds, 2, -1) < 0) continue;
            for (pollfd& f : fds) {
                if (f.fd < 0 || !(f.revents & (POLLIN | POLLHUP | POLLERR))) continue;
                char buf[4096];
                const ssize_t n = read(f.fd, buf, sizeof buf);
                if (n <= 0) {
                    close(f.fd);
                    f.fd = -1;
                    --open;
                    continue;
                }
                std::lock_guard<std::mutex> lock(m_);
                (f.fd == out ? out_ : err_).append(buf, static_cast<std::size_t>(n));
                cv_.notify_all();
            }
        }
    }
    void kill_now() {
        if (child_.pid > 0 && !exit_status_) {
            ::kill(child_.pid, SIGKILL);
            wait_exit(seconds(10));
        }
        if (reader_.joinable()) reader_.join();
    }

    Child child_;
    std::string path_;
    std::thread reader_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::string out_, err_;
    std::optional<int> exit_status_;
};

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

// Waits until `done()` holds, looking every 10 ms, at most `limit`.
inline bool eventually(const std::function<bool()>& done, milliseconds limit) {
    const auto until = Steady::now() + limit;
    while (!done()) {
        if (Steady::now() >= until) return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
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
        const auto until = Steady::now() + seconds(10);
        while (!accepts_connections(port)) {
            ASSERT_TRUE(proc_.running()) << "mosquitto ended: " << proc_.err();
            ASSERT_LT(Steady::now(), until) << "mosquitto does not listen on " << port;
            std::this_thread::sleep_for(milliseconds(10));
        }
    }
    int stop() { return proc_.stop(SIGTERM, seconds(10)); }
    std::string log() const { return proc_.err(); }
    bool wait_log(const std::string& text, milliseconds limit) { return proc_.wait_err(text, limit); }

private:
    Program proc_;
};

// One line of the simulator's traffic log.
struct SimEntry {
    long long ms = 0;  // since the simulator started
    std::string kind;  // RX, TX, EV
    std::string bytes;
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
        ASSERT_TRUE(proc_.wait_output([](const std::string& o, const std::string&) { return o.find('\n') != std::string::npos; },
                                      seconds(10)))
            << "b203sim did not start: " << proc_.err();
    }
    void kill() { proc_.stop(SIGKILL, seconds(10)); }
    int stop() { return proc_.stop(SIGTERM, seconds(10)); }
    const std::string& log_path() const { return log_; }

    std::vector<SimEntry> entries() const {
        std::vector<SimEntry> out;
        std::istringstream in(read_text(log_));
        std::string line;
        while (std::getline(in, line)) {
            const auto dot = line.find('.');
            const auto space = line.find(' ');
            const auto quote = line.find('"');
            if (dot == std::string::npos || space == std::string::npos || quote == std::string::npos ||
                line.back() != '"' || quote + 1 > line.size() - 1)
                continue;
            SimEntry e;
            e.ms = std::stoll(line.substr(0, dot)) * 1000 + std::stoll(line.substr(dot + 1, 3));
            e.kind = line.substr(space + 1, 2);
            if (!sim::unescape_text(line.substr(quote + 1, line.size() - quote - 2), e.bytes)) continue;
            out.push_back(e);
        }
        return out;
    }
    // Command lines received, without their "\r".
    std::vector<std::string> received() const {
        std::vector<std::string> lines;
        for (const SimEntry& e : entries())
            if (e.kind == "RX") lines.push_back(e.bytes.substr(0, e.bytes.find('\r')));
        return lines;
    }

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

}  // namespace zd::test
