#pragma once
// Child programs as every program test runs them: output collected as it
// comes, waits on a condition with a deadline, and a run to its end.
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
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

// A fresh directory under /tmp, and its removal.
inline std::string make_temp_dir(const std::string& prefix) {
    std::string tmpl = "/tmp/" + prefix + "-XXXXXX";
    return mkdtemp(tmpl.data()) ? tmpl : "";
}
inline void remove_tree(const std::string& dir) {
    if (!dir.empty()) std::system(("rm -rf " + dir).c_str());
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

    // `in_child` runs in the child last before the program replaces it: to
    // change its directory, its standard streams or its user.
    void start(const std::string& path, const std::vector<std::string>& args, const Environment& changes = {},
               const std::function<void()>& in_child = {}) {
        kill_now();
        expect_no_sanitizer_report();
        path_ = path;
        {
            std::lock_guard<std::mutex> lock(m_);
            out_.clear();
            err_.clear();
            exit_status_.reset();
        }
        // Made here: between fork and exec only plain stores are safe.
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
        std::vector<char*> argv{path_.data()};
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2], err[2];
        ASSERT_EQ(pipe(out), 0);
        ASSERT_EQ(pipe(err), 0);
        started_ = Steady::now();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(out[1], 1);
            dup2(err[1], 2);
            // None of the test's sockets and pipes live on in the child.
            for (int fd = 3; fd < 1024; ++fd) close(fd);
            if (in_child) in_child();
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        ASSERT_GT(pid_, 0) << path;
        reader_ = std::thread([this, o = out[0], e = err[0]] { collect(o, e); });
    }

    pid_t pid() const { return pid_; }
    Steady::time_point started() const { return started_; }

    // The exit status (128 + signal when killed) once the child has ended
    // within `limit`; nothing while it still runs.
    std::optional<int> wait_exit(milliseconds limit) {
        const auto until = Steady::now() + limit;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_);
                if (exit_status_) return exit_status_;
            }
            if (pid_ <= 0) return std::nullopt;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                if (reader_.joinable()) reader_.join();
                std::lock_guard<std::mutex> lock(m_);
                exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return exit_status_;
            }
            if (Steady::now() >= until) return std::nullopt;
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    bool running() { return pid_ > 0 && !wait_exit(milliseconds(0)); }

    // Sends `signal` and waits up to `limit` for the end; a child that does
    // not end is killed. The exit status, or -1 when it had to be killed.
    int stop(int signal, milliseconds limit) {
        if (pid_ <= 0) return -1;
        if (running()) ::kill(pid_, signal);
        if (auto s = wait_exit(limit)) return *s;
        kill_now();
        return -1;
    }

    std::string out() const {
        std::lock_guard<std::mutex> lock(m_);
        return out_;
    }
    std::string err() const {
        std::lock_guard<std::mutex> lock(m_);
        return err_;
    }
    // A report of a sanitizer in the child's stderr fails the test that ran it.
    void expect_no_sanitizer_report() const {
        const std::string e = err();
        for (const char* mark : {"Sanitizer", "runtime error:"})
            EXPECT_EQ(e.find(mark), std::string::npos) << path_ << " reports:\n" << e;
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
    // The first line on stdout, once it has come whole.
    std::optional<std::string> first_line(milliseconds limit) {
        if (!wait_output([](const std::string& o, const std::string&) { return o.find('\n') != std::string::npos; },
                         limit))
            return std::nullopt;
        const std::string o = out();
        return o.substr(0, o.find('\n'));
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
        if (pid_ > 0 && !exit_status_) {
            ::kill(pid_, SIGKILL);
            wait_exit(seconds(10));
        }
        if (reader_.joinable()) reader_.join();
    }

    pid_t pid_ = -1;
    Steady::time_point started_;
    std::string path_;
    std::thread reader_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::string out_, err_;
    std::optional<int> exit_status_;
};

// A program's run to its end: what it printed and how long it took.
struct CliRun {
    int status = -1;
    std::string out, err;
    milliseconds took{0};
};

// Waits for the end of a started run; one that outlives `limit` is killed.
inline CliRun finish(Program& p, milliseconds limit = seconds(60)) {
    CliRun r;
    const auto status = p.wait_exit(limit);
    r.status = status ? *status : p.stop(SIGKILL, seconds(5));
    r.took = std::chrono::duration_cast<milliseconds>(Steady::now() - p.started());
    r.out = p.out();
    r.err = p.err();
    return r;
}

}  // namespace zd::test
