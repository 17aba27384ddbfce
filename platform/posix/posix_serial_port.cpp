#include "platform/posix/posix_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include "platform/io_result.h"
#include "platform/posix/line_mode.h"
#include "platform/stop_request.h"

namespace zd {

namespace {

// The exclusively held line and its settings from before we took it, so
// that a signal can hand both back on the way out.
volatile sig_atomic_t g_exclusive_fd = -1;
termios g_exclusive_before{};
volatile sig_atomic_t g_exclusive_before_valid = 0;

void release_and_exit(int sig) {
    release_exclusive_line();
    _exit(128 + sig);
}

// For programs that left these signals alone; one that handles them itself
// (catch_stop_requests) keeps its handlers.
void release_on_signals() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction sa {};
    sa.sa_handler = release_and_exit;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) sigaction(sig, &sa, nullptr);
    }
}

// Lifts an XOFF hold. TCOON alone only undoes a TCOOFF; after one the
// kernel restarts output whatever stopped it.
void resume_output(int fd) {
    tcflow(fd, TCOOFF);
    tcflow(fd, TCOON);
}

class PosixSerialPort : public SerialPort {
public:
    // `before`: the line's settings to restore at close, when known.
    PosixSerialPort(int fd, bool exclusive, std::optional<termios> before)
        : fd_(fd), exclusive_(exclusive), before_(before) {}
    ~PosixSerialPort() override { close(); }

    int bytes_waiting() override {
        if (fd_ < 0) return 0;
        int n = 0;
        if (ioctl(fd_, FIONREAD, &n) != 0) return 0;
        return n;
    }
    bool read_byte(unsigned char& byte) override {
        if (fd_ < 0) return false;
        for (;;) {
            const ssize_t r = ::read(fd_, &byte, 1);
            if (r == 1) return true;
            if (r < 0 && errno == EINTR) continue;
            return false;
        }
    }
    // The descriptor stays non-blocking: a blocking write() to a line held
    // by XOFF (on a pty: the write itself) and tcdrain() have no time limit.
    bool write_bytes(const std::string& bytes) override {
        if (fd_ < 0) return false;
        const auto deadline = Steady::now() + std::chrono::milliseconds(write_deadline_ms(bytes.size()));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t w = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
            if (!wait_writable(deadline)) return give_up();
        }
        // On the wire: the driver's queue empties, then the UART's FIFO,
        // which the driver bounds by itself once nothing is queued.
        for (;;) {
            int queued = 0;
            if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
            const auto left = deadline - Steady::now();
            if (left <= Steady::duration::zero()) return give_up();
            const auto pause = std::chrono::milliseconds(std::max(10LL, wire_ms(static_cast<std::size_t>(queued))));
            std::this_thread::sleep_for(std::min<Steady::duration>(left, pause));
        }
        return tcdrain(fd_) == 0 || errno == ENOTTY || errno == EINVAL;
    }
    void wait_readable(int ms) override {
        if (fd_ < 0 || ms <= 0) return;
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, ms) < 0 && errno == EINTR) {
        }
    }
    bool is_gone() override {
        if (fd_ < 0) return true;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) < 0) return errno != EINTR;
        return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
    void close() override {
        if (fd_ < 0) return;
        // A terminal named by mistake is not left raw at 1200 baud.
        if (before_) tcsetattr(fd_, TCSANOW, &*before_);
        if (exclusive_) {
            // The flag outlives our descriptor while others hold the tty open.
            ioctl(fd_, TIOCNXCL);
            g_exclusive_fd = -1;
        }
        ::close(fd_);
        fd_ = -1;
    }

private:
    using Steady = std::chrono::steady_clock;

    bool wait_writable(Steady::time_point deadline) {
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Steady::now()).count();
            if (left <= 0) return false;
            pollfd p{fd_, POLLOUT, 0};
            const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 60000)));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) return false;
            if (r == 0) continue;  // the loop ends at the deadline
            return (p.revents & POLLOUT) != 0;
        }
    }
    // The device held the line past the deadline: what it did not take is
    // dropped, so it cannot go out late as part of another command, and the
    // hold is lifted for the next write.
    bool give_up() {
        tcflush(fd_, TCOFLUSH);
        resume_output(fd_);
        return false;
    }

    int fd_;
    bool exclusive_;
    std::optional<termios> before_;
};

// Non-blocking: a line without carrier would otherwise hold the open until
// the carrier comes up, and writes wait on their own deadline (reads never
// wait anyway).
int open_nonblocking(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
}

std::optional<termios> line_settings(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return std::nullopt;
    return tio;
}

void set_line_mode(int fd, const std::optional<termios>& before) {
    if (before) {
        termios tio = *before;
        set_b203_line_mode(tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    // An XOFF the device sent to an earlier holder of the line (a pty keeps
    // it across opens) does not hold this one.
    resume_output(fd);
}

std::string open_failure_reason(int err) {
    switch (err) {
        case ENOENT: return "Gerät nicht vorhanden";
        case EACCES:
        case EPERM: return "keine Berechtigung; der Benutzer braucht die Gruppe dialout";
        case ENXIO:
        case ENODEV: return "Gerät nicht angeschlossen";
        case EISDIR: return "ein Verzeichnis, kein serielles Gerät";
        default: return io_text::errno_text(err);
    }
}

// Only a character device can be a serial line; anything else is not even
// opened, since opening some devices and FIFOs already does something.
std::string not_a_line(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return open_failure_reason(errno);
    return S_ISCHR(st.st_mode) ? std::string() : std::string("kein serielles Gerät");
}

}  // namespace

void release_exclusive_line() {
    // Async-signal-safe: the handlers of a stop and of an end call it.
    const int fd = g_exclusive_fd;
    if (fd >= 0) {
        if (g_exclusive_before_valid) tcsetattr(fd, TCSANOW, &g_exclusive_before);
        ioctl(fd, TIOCNXCL);
    }
}

std::unique_ptr<SerialPort> open_posix_serial_port(const std::string& device_path) {
    const int fd = open_nonblocking(device_path);
    if (fd < 0) return nullptr;
    const auto before = line_settings(fd);
    set_line_mode(fd, before);
    return std::make_unique<PosixSerialPort>(fd, false, before);
}

ExclusiveOpen open_serial_port_exclusive(const std::string& path, int wait_ms) {
    ExclusiveOpen r;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    r.reason = not_a_line(path);
    if (!r.reason.empty()) return r;
    for (;;) {
        const int fd = open_nonblocking(path);
        if (fd < 0 && errno != EBUSY) {
            r.reason = open_failure_reason(errno);
            return r;
        }
        if (fd >= 0) {
            if (!isatty(fd)) {
                ::close(fd);
                r.reason = "kein serielles Gerät";
                return r;
            }
            // flock serialises runs whatever their rights; TIOCEXCL keeps
            // other programs of ordinary users off the line meanwhile.
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                release_on_signals();
                const auto before = line_settings(fd);
                if (before) g_exclusive_before = *before;
                g_exclusive_before_valid = before ? 1 : 0;
                // The settings are in place before a handler can see the line.
                std::atomic_signal_fence(std::memory_order_seq_cst);
                g_exclusive_fd = fd;
                ioctl(fd, TIOCEXCL);
                set_line_mode(fd, before);
                r.port = std::make_unique<PosixSerialPort>(fd, true, before);
                r.result = ExclusiveOpen::Result::Opened;
                return r;
            }
            const int err = errno;
            ::close(fd);
            if (err != EWOULDBLOCK) {
                r.reason = open_failure_reason(err);
                return r;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline || stop_requested()) {
            r.result = ExclusiveOpen::Result::Busy;
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace zd
