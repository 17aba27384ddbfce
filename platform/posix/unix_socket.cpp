#include "platform/posix/unix_socket.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstring>

namespace zd::posix {

namespace {

bool fill_address(const std::string& path, sockaddr_un& a) {
    std::memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof a.sun_path) return false;
    std::memcpy(a.sun_path, path.c_str(), path.size());
    return true;
}

long long now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int listen_local(const std::string& path, unsigned mode, long gid, std::string& error, std::string& warning) {
    sockaddr_un a{};
    if (!fill_address(path, a)) {
        error = "Pfad des Steuer-Sockets zu lang";
        return -1;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        // Only a socket left behind by an earlier run may go; never a file of someone else.
        if (!S_ISSOCK(st.st_mode)) {
            error = path + " ist kein Socket; nicht ersetzt";
            return -1;
        }
        const int probe = connect_local(path, 200);
        if (probe >= 0) {
            ::close(probe);
            error = "an " + path + " antwortet schon ein anderer zendrilld";
            return -1;
        }
        ::unlink(path.c_str());
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = "Socket nicht anzulegen";
        return -1;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        error = std::string("Steuer-Socket ") + path + " nicht anzulegen (Verzeichnis fehlt oder keine Berechtigung)";
        ::close(fd);
        return -1;
    }
    if (gid >= 0 && ::chown(path.c_str(), static_cast<uid_t>(-1), static_cast<gid_t>(gid)) != 0)
        warning = std::string("Steuer-Socket ") + path + ": die Gruppe " + std::to_string(gid) +
                  " ist nicht zu setzen (" + std::strerror(errno) + "); leihen kann nur der Benutzer des Dienstes";
    ::chmod(path.c_str(), mode);
    if (::listen(fd, 8) != 0) {
        error = "Steuer-Socket nimmt keine Verbindungen an";
        ::close(fd);
        ::unlink(path.c_str());
        return -1;
    }
    return fd;
}

int connect_local(const std::string& path, int timeout_ms) {
    sockaddr_un a{};
    if (!fill_address(path, a)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (errno != EINPROGRESS && errno != EAGAIN) {
            ::close(fd);
            return -1;
        }
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof err;
        if (::poll(&p, 1, timeout_ms) != 1 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

long group_of(const std::string& path, const char* fallback_group) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return static_cast<long>(st.st_gid);
    const group* g = fallback_group ? ::getgrnam(fallback_group) : nullptr;
    return g ? static_cast<long>(g->gr_gid) : -1;
}

LineRead read_line(int fd, int timeout_ms, std::size_t max, std::string& line) {
    line.clear();
    const long long deadline = now_ms() + timeout_ms;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n == 1) {
            if (c == '\n') return LineRead::Line;
            if (line.size() >= max) return LineRead::TooLong;
            line += c;
            continue;
        }
        if (n == 0) return LineRead::Ended;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return LineRead::Ended;
        const long long left = deadline - now_ms();
        if (left <= 0) return LineRead::TimedOut;
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left));
    }
}

bool write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, 1000) != 1) return false;
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    return true;
}

std::string canonical_path(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

Wakeup::Wakeup() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Wakeup::~Wakeup() {
    if (fd_ >= 0) ::close(fd_);
}

void Wakeup::signal() {
    const uint64_t one = 1;
    (void)!::write(fd_, &one, sizeof one);
}

void Wakeup::drain() {
    uint64_t n = 0;
    (void)!::read(fd_, &n, sizeof n);
}

}  // namespace zd::posix
