#pragma once
#include <cstddef>
#include <string>

#include "platform/io_result.h"

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
    // The host's time zone by name ("Europe/Berlin"), for calendars that
    // need one; "" when it has none.
    virtual std::string zone_name() { return ""; }
    virtual bool file_exists(const std::string& path) = 0;
    // Whole content of a regular file of at most `limit` bytes. A directory,
    // a device, a FIFO or a larger file is refused without reading on (the
    // reason says which), so no input can grow without bound.
    virtual ReadResult read_file(const std::string& path, std::size_t limit) = 0;
    // Writes `content` to a temporary file of a unique name beside the
    // target, flushes it and puts it in the target's place in one step.
    // The target is `path` when that is a regular file or new; a symbolic
    // link to a regular file is followed, and a replaced file keeps its
    // permissions. Anything else (a directory, a device, a FIFO, a dangling
    // link, a write-protected file) is refused. On failure the target is
    // unchanged and no temporary file remains.
    virtual IoResult replace_file(const std::string& path, const std::string& content) = 0;
    // What replace_file would refuse, found without changing anything: the
    // same checks, and a temporary file made and removed again.
    virtual IoResult can_replace_file(const std::string& path) = 0;
    // Absolute path of `name` in the current working directory.
    virtual std::string full_path(const std::string& name) = 0;
    // Starts a program by its full path, normally shown; false on failure.
    virtual bool start_program(const std::string& full_path) = 0;
};

// The real operating system (Win32 or POSIX build).
System& host_system();

}  // namespace zd
