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

// Opening for a program that may find another run of itself, or the GUI,
// on the same line: the line is taken exclusively, waiting up to `wait_ms`
// while someone else holds it. The line mode is set only once the line is
// ours, so a waiting run never disturbs the running one.
struct ExclusiveOpen {
    enum class Result { Opened, Busy, Failed };
    Result result = Result::Failed;
    std::unique_ptr<SerialPort> port;
    std::string reason;  // for Failed: why, in German
};
// `port` is a device path on POSIX and a port name ("COM3:") on Windows.
ExclusiveOpen open_serial_port_exclusive(const std::string& port, int wait_ms);

}  // namespace zd
