#include "platform/posix/posix_serial_port.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "device/link.h"
#include "platform/posix/line_mode.h"

namespace zd {

namespace {

class PosixSerialPort : public SerialPort {
public:
    explicit PosixSerialPort(int fd) : fd_(fd) {}
    ~PosixSerialPort() override { close(); }

    int bytes_waiting() override {
        if (fd_ < 0) return 0;
        int n = 0;
        if (ioctl(fd_, FIONREAD, &n) != 0) return 0;
        return n;
    }
    bool read_byte(unsigned char& byte) override {
        if (fd_ < 0) return false;
        for (;;) {
            const ssize_t r = ::read(fd_, &byte, 1);
            if (r == 1) return true;
            if (r < 0 && errno == EINTR) continue;
            return false;
        }
    }
    bool write_bytes(const std::string& bytes) override {
        if (fd_ < 0) return false;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t w = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += static_cast<std::size_t>(w);
        }
        return tcdrain(fd_) == 0 || errno == ENOTTY || errno == EINVAL;
    }
    void close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<SerialPort> open_posix_serial_port(const std::string& device_path) {
    // Non-blocking only for the open itself: a line without carrier would
    // otherwise hold the open until the carrier comes up.
    const int fd = ::open(device_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        set_b203_line_mode(tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return std::make_unique<PosixSerialPort>(fd);
}

std::unique_ptr<SerialPort> open_serial_port(const std::string& port_name) {
    if (!is_valid_port_name(port_name)) return nullptr;
    std::string dev = port_device_name(port_name);
    // "ComN" is the N-th serial line, /dev/ttyS(N-1).
    if (dev.size() > 3 && (dev[0] == 'C' || dev[0] == 'c') && (dev[1] == 'O' || dev[1] == 'o') &&
        (dev[2] == 'M' || dev[2] == 'm')) {
        const int n = std::atoi(dev.c_str() + 3);
        if (n >= 1) return open_posix_serial_port("/dev/ttyS" + std::to_string(n - 1));
    }
    return open_posix_serial_port("/dev/" + dev);
}

}  // namespace zd
