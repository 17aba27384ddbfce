#pragma once
#include <string>

#include "platform/local_service.h"

// Local stream sockets and a wake-up handle, for the programs that run
// beside the hi-fi on Linux.
namespace zd::posix {

// Listens on `path` (a stale socket there is replaced, anything else is
// refused) with `mode`, group `gid` when it is not -1. -1 with `error` set
// (German) on failure. A group that cannot be given leaves the socket
// working for the owner only; `warning` says so.
int listen_local(const std::string& path, unsigned mode, long gid, std::string& error, std::string& warning);
// Connects to `path` without blocking longer than `timeout_ms`; -1 when no
// one listens there.
int connect_local(const std::string& path, int timeout_ms);
// Group of the file at `path` (following links); while it is missing, the
// group named `fallback_group`; -1 when neither is found.
long group_of(const std::string& path, const char* fallback_group = nullptr);

// Reads one line ended by "\n" from `fd` within `timeout_ms`, at most `max`
// bytes.
LineRead read_line(int fd, int timeout_ms, std::size_t max, std::string& line);
bool write_all(int fd, const std::string& bytes);

// An eventfd that other threads signal to wake a poll loop.
class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;
    int fd() const { return fd_; }
    void signal();
    void drain();

private:
    int fd_ = -1;
};

}  // namespace zd::posix

namespace zd::posix {

// The path with every link resolved, or the path itself when it does not
// exist (a pulled adapter's by-id link).
std::string canonical_path(const std::string& path);

}  // namespace zd::posix
