#pragma once
#include <memory>
#include <string>

namespace zd {

// One open serial line. Implementations: Win32 (COM port), POSIX (termios), test fakes.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Number of bytes in the driver's input queue; also clears a pending
    // line error (framing, overrun) so reading can go on.
    virtual int bytes_waiting() = 0;
    // Reads one byte; false when no byte could be read.
    virtual bool read_byte(unsigned char& byte) = 0;
    // Hands all bytes to the driver in one synchronous write.
    virtual bool write_bytes(const std::string& bytes) = 0;
    virtual void close() = 0;
};

// Opens the platform's port for a port name such as "Com1:" with 1200 8N1,
// XON/XOFF. Null when the device cannot be opened.
std::unique_ptr<SerialPort> open_serial_port(const std::string& port_name);

}  // namespace zd
