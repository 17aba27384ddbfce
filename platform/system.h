#pragma once
#include <optional>
#include <string>

namespace zd {

struct LocalTime {
    int year = 2000;  // four digits
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int utc_offset_min = 0;  // local time minus UTC
};

// Files, local time and program start: what the tool needs from the OS
// besides the serial line and the windows.
class System {
public:
    virtual ~System() = default;
    virtual LocalTime local_time() = 0;
    virtual bool file_exists(const std::string& path) = 0;
    // Whole content, or nullopt when the file cannot be opened.
    virtual std::optional<std::string> read_file(const std::string& path) = 0;
    // Writes a temporary file beside `path`, flushes it and replaces `path`
    // in one step. False when anything failed; `path` is then unchanged.
    virtual bool replace_file(const std::string& path, const std::string& content) = 0;
    // True when replace_file's temporary file can be made beside `path`
    // (tried and removed again); nothing else changes.
    virtual bool can_replace_file(const std::string& path) = 0;
    // Absolute path of `name` in the current working directory.
    virtual std::string full_path(const std::string& name) = 0;
    // Starts a program by its full path, normally shown; false on failure.
    virtual bool start_program(const std::string& full_path) = 0;
};

// The real operating system (Win32 or POSIX build).
System& host_system();

}  // namespace zd
