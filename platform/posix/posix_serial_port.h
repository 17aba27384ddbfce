#pragma once
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace zd {

// Opens a tty device path in raw 1200 8N1 mode with XON/XOFF both ways.
std::unique_ptr<SerialPort> open_posix_serial_port(const std::string& device_path);

// Lets others onto the exclusively held line, if there is one; safe in a
// signal handler.
void release_exclusive_line();

}  // namespace zd
