#include "sim/sim_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/posix/line_mode.h"
#include "sim/escape.h"
#include "sim/state_file.h"

namespace zd::sim {

namespace {

using SteadyClock = std::chrono::steady_clock;

// 1200 baud, 10 bits per byte (start, 8 data, stop).
constexpr std::chrono::nanoseconds kByteTime{8333333};

SteadyClock::duration byte_times(std::size_t n) {
    return std::chrono::duration_cast<SteadyClock::duration>(kByteTime * static_cast<std::int64_t>(n));
}
constexpr std::size_t kMaxLine = 1024;
constexpr std::chrono::milliseconds kHangupLinger{200};
constexpr std::size_t kMaxKept = 1000;
constexpr unsigned char kXon = 0x11;
constexpr unsigned char kXoff = 0x13;

class SteadyTimeSource : public TimeSource {
public:
    long long now_ms() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch()).count();
    }
};

void keep(std::vector<std::string>& list, const std::string& item) {
    if (list.size() >= kMaxKept) list.erase(list.begin());
    list.push_back(item);
}

std::string two_digits(int v) {
    return std::string(1, static_cast<char>('0' + v / 10 % 10)) + static_cast<char>('0' + v % 10);
}

void set_line_mode(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    set_b203_line_mode(tio);
    tcsetattr(fd, TCSANOW, &tio);
}

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

SimServer::SimServer(SimConfig config, TimeSource* time)
    : config_(std::move(config)), time_(time), shaper_(config_.faults) {
    if (!time_) {
        own_time_ = std::make_unique<SteadyTimeSource>();
        time_ = own_time_.get();
    }
    model_ = std::make_unique<Model>(*time_, config_.model);
}

SimServer::~SimServer() { stop(); }

bool SimServer::start(std::string& error) {
    start_time_ = SteadyClock::now();
    Preset preset;
    if (!initial_preset(config_, preset, error)) return false;
    {
        // The clock starts at the host's local time unless the preset says otherwise.
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::lock_guard<std::mutex> lock(model_mutex_);
        model_->set_date(two_digits(local.tm_mday) + two_digits(local.tm_mon + 1) + two_digits(local.tm_year % 100));
        model_->set_time(two_digits(local.tm_hour) + two_digits(local.tm_min) + two_digits(local.tm_sec));
        apply_preset(*model_, preset);
    }
    if (!config_.log_path.empty()) {
        if (config_.log_path == "-") {
            log_ = stderr;
        } else {
            log_ = std::fopen(config_.log_path.c_str(), "w");
            if (!log_) {
                error = "cannot write log file " + config_.log_path;
                return false;
            }
            own_log_ = true;
        }
    }
    if (pipe(wake_) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        cleanup();
        return false;
    }
    for (int fd : wake_) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    if (!open_pty(error) || !open_control(error)) {
        cleanup();
        return false;
    }
    if (!config_.link_path.empty()) {
        struct stat st {};
        if (lstat(config_.link_path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = config_.link_path + " exists and is not a symlink";
                cleanup();
                return false;
            }
            ::unlink(config_.link_path.c_str());
        }
        if (symlink(slave_path_.c_str(), config_.link_path.c_str()) != 0) {
            error = "symlink " + config_.link_path + ": " + std::strerror(errno);
            cleanup();
            return false;
        }
        made_link_ = true;
    }
    log("EV", "start " + slave_path_);
    running_ = true;
    thread_ = std::thread([this] { loop(); });
    return true;
}

bool SimServer::open_pty(std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = std::string("pseudo terminal: ") + std::strerror(errno);
        return false;
    }
    char name[256] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    slave_path_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        error = std::string("open ") + name + ": " + std::strerror(errno);
        return false;
    }
    // Raw mode matters most: an echoing slave would send our replies back as commands.
    set_line_mode(slave_);
    return true;
}

bool SimServer::open_control(std::string& error) {
    if (config_.control_path.empty()) return true;
    const char* path = config_.control_path.c_str();
    struct stat st {};
    if (stat(path, &st) == 0) {
        if (!S_ISFIFO(st.st_mode)) {
            error = config_.control_path + " exists and is not a FIFO";
            return false;
        }
    } else if (mkfifo(path, 0600) == 0) {
        created_fifo_ = true;
    } else {
        error = "mkfifo " + config_.control_path + ": " + std::strerror(errno);
        return false;
    }
    control_ = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (control_ >= 0) control_writer_ = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (control_ < 0 || control_writer_ < 0) {
        error = "open " + config_.control_path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void SimServer::stop() {
    if (thread_.joinable()) {
        wake('q');
        thread_.join();
    }
    cleanup();
}

void SimServer::request_dump() { wake('d'); }

void SimServer::wake(char what) {
    if (wake_[1] >= 0) {
        const ssize_t n = ::write(wake_[1], &what, 1);
        (void)n;
    }
}

std::vector<std::string> SimServer::received_lines() const {
    std::lock_guard<std::mutex> lock(model_mutex_);
    return received_;
}

std::vector<std::string> SimServer::sent_replies() const {
    std::lock_guard<std::mutex> lock(model_mutex_);
    return sent_;
}

void SimServer::log(const char* tag, const std::string& bytes) {
    if (!log_) return;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start_time_).count();
    std::lock_guard<std::mutex> lock(log_mutex_);
    if (config_.log_json)
        std::fprintf(log_, "{\"ms\":%lld,\"kind\":\"%s\",\"bytes\":%s}\n", static_cast<long long>(ms), tag,
                     json_bytes(bytes).c_str());
    else
        std::fprintf(log_, "%lld.%03lld %s \"%s\"\n", static_cast<long long>(ms / 1000),
                     static_cast<long long>(ms % 1000), tag, escape_bytes(bytes).c_str());
    std::fflush(log_);
}

int SimServer::poll_timeout_ms() const {
    SteadyClock::time_point due;
    if (hangup_due_) {
        due = *hangup_due_;
    } else if (queue_.empty() || xoff_ || blocked_ || master_ < 0) {
        return -1;
    } else if (!active_) {
        const auto& front = queue_.front();
        const auto delay = std::chrono::milliseconds(front.transmission.segments.front().delay_ms);
        due = std::max(front.ready + delay, last_end_);
        if (config_.pacing) due += byte_times(1);
    } else {
        due = segment_start_;
        if (config_.pacing) due += byte_times(offset_ + 1);
    }
    const auto left = due - SteadyClock::now();
    if (left <= SteadyClock::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

void SimServer::loop() {
    while (!quit_) {
        pollfd fds[3];
        nfds_t n = 0;
        fds[n++] = {wake_[0], POLLIN, 0};
        const nfds_t master_at = n;
        if (master_ >= 0) fds[n++] = {master_, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0};
        const nfds_t control_at = n;
        if (control_ >= 0) fds[n++] = {control_, POLLIN, 0};
        const int ready = ::poll(fds, n, poll_timeout_ms());
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            if (fds[0].revents & POLLIN) handle_wake();
            if (master_at < n && fds[master_at].fd == master_) {
                if (fds[master_at].revents & POLLOUT) {
                    blocked_ = false;
                    resume_pacing();
                }
                if (fds[master_at].revents & (POLLIN | POLLHUP | POLLERR)) handle_input();
            }
            if (control_at < n && control_ >= 0 && fds[control_at].fd == control_ &&
                (fds[control_at].revents & POLLIN)) {
                handle_control();
            }
        }
        pump();
    }
    if (!config_.dump_path.empty()) write_dump();
    log("EV", "stop");
    running_ = false;
}

void SimServer::handle_wake() {
    char buf[64];
    ssize_t n;
    while ((n = ::read(wake_[0], buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == 'q') quit_ = true;
            if (buf[i] == 'd') write_dump();
        }
    }
}

void SimServer::handle_control() {
    char buf[256];
    ssize_t n;
    while ((n = ::read(control_, buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] != '\n') {
                if (control_line_.size() < kMaxLine) control_line_.push_back(buf[i]);
                continue;
            }
            std::string command = control_line_;
            control_line_.clear();
            if (!command.empty() && command.back() == '\r') command.pop_back();
            log("EV", "control " + command);
            if (command == "dump") write_dump();
            if (command == "quit") quit_ = true;
        }
    }
}

void SimServer::handle_input() {
    unsigned char buf[256];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) {
            // EIO means no slave is open; ours is, so this should not last. Do not spin.
            if (n < 0 && errno == EIO) usleep(20000);
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const unsigned char b = buf[i];
            if (b == kXoff) {
                xoff_ = true;
                log("EV", "xoff");
            } else if (b == kXon) {
                if (xoff_) resume_pacing();
                xoff_ = false;
                log("EV", "xon");
            } else if (b == '\n') {
                // A stray line feed is no part of a command line.
            } else if (b == '\r') {
                const std::string line = line_;
                line_.clear();
                handle_line(line);
            } else if (line_.size() < kMaxLine) {
                line_.push_back(static_cast<char>(b));
            }
        }
    }
}

void SimServer::handle_line(const std::string& line) {
    const auto ready = SteadyClock::now();
    log("RX", line + "\r");
    Answer answer;
    {
        std::lock_guard<std::mutex> lock(model_mutex_);
        keep(received_, line);
        answer = model_->handle_line(line);
    }
    if (!answer.event.empty()) log("EV", answer.event);
    if (!answer.has_line || master_ < 0) return;
    const int address = line[0] - '0';
    auto shaped = shaper_.shape(address, answer.line);
    if (shaped) queue_.push_back({std::move(*shaped), ready});
}

bool SimServer::write_bytes(const std::string& bytes, std::size_t& written) {
    written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + written, bytes.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) blocked_ = true;
        return false;
    }
    return true;
}

void SimServer::resume_pacing() {
    // After a stop the byte held back starts over now instead of bursting out.
    if (active_ && config_.pacing) segment_start_ = std::max(segment_start_, SteadyClock::now() - byte_times(offset_));
}

void SimServer::pump() {
    if (hangup_due_ && *hangup_due_ <= SteadyClock::now()) {
        hangup_due_.reset();
        hang_up();
    }
    while (!hangup_due_ && !queue_.empty() && master_ >= 0 && !xoff_ && !blocked_) {
        const auto now = SteadyClock::now();
        Pending& front = queue_.front();
        const auto& segments = front.transmission.segments;
        if (!active_) {
            const auto delay = std::chrono::milliseconds(segments.front().delay_ms);
            const auto start = std::max(front.ready + delay, last_end_);
            if ((config_.pacing ? start + byte_times(1) : start) > now) return;
            active_ = true;
            segment_ = 0;
            offset_ = 0;
            segment_start_ = start;
            sent_so_far_.clear();
        }
        const std::string& bytes = segments[segment_].bytes;
        if (config_.pacing) {
            while (offset_ < bytes.size()) {
                const auto due = segment_start_ + byte_times(offset_ + 1);
                if (due > now || xoff_) return;
                std::size_t written = 0;
                if (!write_bytes(bytes.substr(offset_, 1), written)) return;
                sent_so_far_.push_back(bytes[offset_]);
                ++offset_;
            }
        } else {
            if (segment_start_ > now) return;
            std::size_t written = 0;
            const bool all = write_bytes(bytes.substr(offset_), written);
            sent_so_far_ += bytes.substr(offset_, written);
            offset_ += written;
            if (!all) return;
        }
        // Segment done: the next one follows after its gap.
        const auto end = config_.pacing ? segment_start_ + byte_times(bytes.size())
                                        : std::max(segment_start_, now);
        if (++segment_ < segments.size()) {
            segment_start_ = end + std::chrono::milliseconds(segments[segment_].delay_ms);
            offset_ = 0;
            continue;
        }
        last_end_ = end;
        active_ = false;
        log("TX", sent_so_far_);
        {
            std::lock_guard<std::mutex> lock(model_mutex_);
            keep(sent_, sent_so_far_);
        }
        const bool hangup = front.transmission.hangup;
        queue_.pop_front();
        if (hangup) hangup_due_ = SteadyClock::now() + kHangupLinger;
    }
}

void SimServer::hang_up() {
    // Both ends go: the client's reads and writes fail from now on.
    close_fd(master_);
    close_fd(slave_);
    queue_.clear();
    active_ = false;
    hung_up_ = true;
    log("EV", "hangup");
}

void SimServer::write_dump() {
    if (config_.dump_path.empty()) return;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(model_mutex_);
        text = format_state(model_->snapshot());
    }
    // Written aside and renamed, so a reader never sees half a dump.
    const std::string tmp = config_.dump_path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) {
        log("EV", "dump failed " + config_.dump_path);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), f);
    const bool ok = std::fclose(f) == 0 && std::rename(tmp.c_str(), config_.dump_path.c_str()) == 0;
    log("EV", (ok ? "dump " : "dump failed ") + config_.dump_path);
}

void SimServer::cleanup() {
    close_fd(master_);
    close_fd(slave_);
    close_fd(control_);
    close_fd(control_writer_);
    close_fd(wake_[0]);
    close_fd(wake_[1]);
    if (made_link_) {
        // Only our own link: another run may have replaced it meanwhile.
        char target[512] = {};
        const ssize_t n = readlink(config_.link_path.c_str(), target, sizeof target - 1);
        if (n > 0 && slave_path_ == std::string(target, static_cast<std::size_t>(n))) {
            ::unlink(config_.link_path.c_str());
        }
        made_link_ = false;
    }
    if (created_fifo_) {
        ::unlink(config_.control_path.c_str());
        created_fifo_ = false;
    }
    if (own_log_ && log_) std::fclose(log_);
    log_ = nullptr;
    own_log_ = false;
    running_ = false;
}

}  // namespace zd::sim
