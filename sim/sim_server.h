#pragma once
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/model.h"
#include "sim/options.h"
#include "sim/reply_shaper.h"

// The simulator on a pseudo terminal: owns the pty, the device model and
// one event-loop thread. Usable in-process by tests and by the b203sim
// program alike.
namespace zd::sim {

class SimServer {
public:
    // `time` drives the device clock; null for the real monotonic clock.
    explicit SimServer(SimConfig config, TimeSource* time = nullptr);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Opens the pty, the link, the control FIFO and the log, sets the
    // initial state and starts the loop. False with a message on failure.
    bool start(std::string& error);
    // Ends the loop (writing the dump if one is configured) and cleans up.
    void stop();
    // False once the loop has ended, also after "quit" on the control FIFO.
    bool running() const { return running_; }
    const std::string& slave_path() const { return slave_path_; }
    // Asks the loop to write the dump file; safe from any thread.
    void request_dump();

    // Runs `f` on the model under the model's lock.
    template <class F>
    auto with_model(F&& f) {
        std::lock_guard<std::mutex> lock(model_mutex_);
        return f(*model_);
    }
    // Command lines received (without "\r") and replies sent (exact bytes).
    std::vector<std::string> received_lines() const;
    std::vector<std::string> sent_replies() const;
    bool hung_up() const { return hung_up_; }

private:
    struct Pending {
        Transmission transmission;
        std::chrono::steady_clock::time_point ready;  // when the command's "\r" came in
    };

    bool open_pty(std::string& error);
    bool open_control(std::string& error);
    void loop();
    void wake(char what);
    void handle_wake();
    void handle_control();
    void handle_input();
    void handle_line(const std::string& line);
    void pump();
    void resume_pacing();
    bool write_bytes(const std::string& bytes, std::size_t& written);
    void hang_up();
    void write_dump();
    int poll_timeout_ms() const;
    void log(const char* tag, const std::string& bytes);
    void cleanup();

    SimConfig config_;
    std::unique_ptr<TimeSource> own_time_;
    TimeSource* time_;
    mutable std::mutex model_mutex_;
    std::unique_ptr<Model> model_;
    ReplyShaper shaper_;
    std::vector<std::string> received_;
    std::vector<std::string> sent_;

    int master_ = -1;
    int slave_ = -1;  // held open so the master never sees a hangup between clients
    int control_ = -1;
    int control_writer_ = -1;  // keeps the FIFO from reporting end of file
    int wake_[2] = {-1, -1};
    bool created_fifo_ = false;
    bool made_link_ = false;
    std::string slave_path_;
    FILE* log_ = nullptr;
    bool own_log_ = false;
    std::mutex log_mutex_;
    std::chrono::steady_clock::time_point start_time_;

    std::string line_;
    std::string control_line_;
    std::deque<Pending> queue_;
    bool active_ = false;      // the front of queue_ is being sent
    std::size_t segment_ = 0;  // within the front transmission
    std::size_t offset_ = 0;   // within the segment
    std::chrono::steady_clock::time_point segment_start_{};
    std::chrono::steady_clock::time_point last_end_{};
    std::string sent_so_far_;
    bool xoff_ = false;
    bool blocked_ = false;  // the pty took no more bytes; wait until writable
    // The line drops a little after the last bytes, so they reach the client.
    std::optional<std::chrono::steady_clock::time_point> hangup_due_;

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> hung_up_{false};
    bool quit_ = false;
};

}  // namespace zd::sim
