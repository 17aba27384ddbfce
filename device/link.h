#pragma once
#include <atomic>
#include <string>

#include "platform/clock.h"
#include "platform/serial_port.h"

namespace zd {

// What a program that checks its writes keeps of them.
struct WriteCheck {
    int failed = 0;         // writes that did not go out (the port's deadline, a lost line)
    int sent_in_a_row = 0;  // writes that went out since the last that did not
    // The latest write was one that did not go out.
    bool last_failed() const { return failed > 0 && sent_in_a_row == 0; }
};

// The open connection to the device: the port and the clock whose pauses
// measure reply time limits.
struct DeviceLink {
    SerialPort* port = nullptr;
    Clock* clock = nullptr;
    // A program that holds the line for long waits on the port for its
    // bytes instead of pausing in fixed steps: the same limits, in real time
    // on the clock, and a reply ends at its line feed.
    bool wait_on_port = false;
    // Once set, reads and waits end at once with what they have: a program
    // that must stop does not sit out a reply time limit.
    const std::atomic<bool>* cancel = nullptr;
    // Set by a program that checks its writes (zendrill-cli, zendrilld): a
    // reply read right after a write that did not go out returns "" at
    // once, since nothing was asked. Without it a failed write shows only
    // as the missing reply, after the whole wait.
    WriteCheck* writes = nullptr;
};

// The same line with its pauses on `clock`, in fixed steps.
inline DeviceLink paced_link(const DeviceLink& link, Clock& clock) {
    DeviceLink timed{link.port, &clock};
    timed.writes = link.writes;
    timed.cancel = link.cancel;
    return timed;
}

// A reply line keeps at most this many bytes; the rest of a flood is dropped.
constexpr std::size_t kMaxReplyBytes = 4096;

// True when the port took and sent every byte (see SerialPort::write_bytes).
bool write_command(DeviceLink& link, const std::string& text);
// Collects one reply line. It polls: each poll reads the bytes that were
// waiting when it began (never waiting for more), then pauses 100 ms on the
// link's clock. It ends after the poll that brought a line feed, else after
// ceil(limit_ms / 100) polls, so the limit counts pauses, not time spent
// reading; a limit of 0 or less returns "" at once without reading.
// Carriage returns and zero bytes are dropped, bytes behind the line feed
// in the same poll are joined to the line, and at most kMaxReplyBytes are
// kept. A silent device yields "". With wait_on_port the limit is time on
// the link's clock and the read ends as soon as a poll brought a line feed.
// With `writes` set and the last write failed it returns "" at once.
std::string read_reply_line(DeviceLink& link, int limit_ms);
void discard_input(DeviceLink& link);
// Waits until the line has been quiet for `quiet_ms`, dropping what arrives,
// at most `limit_ms`: acknowledgements of commands that read no reply must
// not join the next reply.
void discard_until_quiet(DeviceLink& link, int quiet_ms = 200, int limit_ms = 2000);
void close_device_link(DeviceLink& link);

}  // namespace zd
