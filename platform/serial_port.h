#pragma once
#include <cstddef>
#include <memory>
#include <string>

namespace zd {

// Bytes' time on the wire at 1200 baud, 8N1: ten bits a byte, 8.33 ms.
inline long long wire_ms(std::size_t bytes) { return static_cast<long long>(bytes) * 25 / 3; }

// A write's deadline: its bytes' time on the wire and a margin. An XOFF
// from the device (or line noise that looks like one) without its XON must
// not hold a writer longer.
constexpr long long kWriteMarginMs = 1000;
inline long long write_deadline_ms(std::size_t bytes) { return wire_ms(bytes) + kWriteMarginMs; }

// One open serial line. Implementations: Win32 (COM port), POSIX (termios), test fakes.
//
// Reading never waits for data: callers ask bytes_waiting() first and read
// only that many bytes, then pause on their own clock. Both real ports are
// set up so that a read with nothing queued returns at once (POSIX: VMIN 0,
// VTIME 0; Win32: the 100 ms interval time-out bounds it) — they report
// false then. There is no read time limit here; limits live in the link.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Number of bytes in the driver's input queue, 0 on any failure; also
    // clears a pending line error (framing, overrun) so reading can go on.
    virtual int bytes_waiting() = 0;
    // Reads one byte; false when no byte could be read (none queued, the
    // line is gone or closed).
    virtual bool read_byte(unsigned char& byte) = 0;
    // Hands all bytes to the driver and returns when the driver has sent
    // them (POSIX: when they are on the wire), waiting while the device holds
    // XOFF, but never past write_deadline_ms(bytes.size()). At the deadline
    // what is left unsent is discarded and the XOFF hold lifted, so the next
    // write goes out. False when not all went: deadline, gone, closed.
    virtual bool write_bytes(const std::string& bytes) = 0;
    // Idempotent; afterwards every call fails harmlessly.
    virtual void close() = 0;
    // Waits up to `ms` for bytes to read and returns early when some are
    // waiting (or the line is gone). For readers that pace themselves on
    // arriving bytes instead of fixed pauses; the default does not wait.
    virtual void wait_readable(int ms) { (void)ms; }
    // True once the line is gone for good (adapter pulled, hung up): reads
    // and writes will keep failing until the port is opened again.
    virtual bool is_gone() { return false; }
};

#ifdef _WIN32
// The GUI's open of a port name such as "Com1:" with 1200 8N1, XON/XOFF,
// without sharing. Null when the device cannot be opened.
std::unique_ptr<SerialPort> open_serial_port(const std::string& port_name);
#endif

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
