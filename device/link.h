#pragma once
#include <string>

#include "platform/clock.h"
#include "platform/serial_port.h"

namespace zd {

// The open connection to the device: the port and the clock whose pauses
// measure reply time limits.
struct DeviceLink {
    SerialPort* port = nullptr;
    Clock* clock = nullptr;
};

// A reply line keeps at most this many bytes; the rest of a flood is dropped.
constexpr std::size_t kMaxReplyBytes = 4096;

// True when the port name is a device name of 1 to 7 letters or digits
// followed by a colon (and possibly more text), e.g. "Com1:".
bool is_valid_port_name(const std::string& port_name);
// The part before the first colon ("Com1" for "Com1:").
std::string port_device_name(const std::string& port_name);
// The mode text for the line parameters: "Com1:1200,N,8,1" for "Com1:".
std::string port_open_text(const std::string& port_name);
// The Windows device path: "\\.\Com1" for "Com1:".
std::string port_device_path(const std::string& port_name);

void write_command(DeviceLink& link, const std::string& text);
// Collects one reply line within `limit_ms`, counted in 100 ms pauses.
std::string read_reply_line(DeviceLink& link, int limit_ms);
void discard_input(DeviceLink& link);
// Waits until the line has been quiet for `quiet_ms`, dropping what arrives,
// at most `limit_ms`: acknowledgements of commands that read no reply must
// not join the next reply.
void discard_until_quiet(DeviceLink& link, int quiet_ms = 200, int limit_ms = 2000);
void close_device_link(DeviceLink& link);

}  // namespace zd
