#pragma once
#include <memory>
#include <string>

namespace zd {

// How reading a line ended: with the line, at the time limit, with the end
// of the connection (closed, broken) before a whole line, or at a line
// longer than allowed.
enum class LineRead { Line, TimedOut, Ended, TooLong };

// A connection to a service on this machine (a Unix socket on POSIX; there
// is none on Windows), one text line each way at a time.
class LocalConnection {
public:
    virtual ~LocalConnection() = default;
    virtual bool send_line(const std::string& line) = 0;  // with its "\n"
    // One line without its "\n", at most `max` bytes.
    virtual LineRead read_line(int timeout_ms, std::size_t max, std::string& line) = 0;
};

// Null when no one listens at `path` (or it is not answered within `timeout_ms`).
std::unique_ptr<LocalConnection> connect_local_service(const std::string& path, int timeout_ms);

}  // namespace zd
