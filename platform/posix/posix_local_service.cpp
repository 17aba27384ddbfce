#include <unistd.h>

#include "platform/local_service.h"
#include "platform/posix/unix_socket.h"

namespace zd {

namespace {

class SocketConnection : public LocalConnection {
public:
    explicit SocketConnection(int fd) : fd_(fd) {}
    ~SocketConnection() override { ::close(fd_); }
    bool send_line(const std::string& line) override { return posix::write_all(fd_, line); }
    LineRead read_line(int timeout_ms, std::size_t max, std::string& line) override {
        return posix::read_line(fd_, timeout_ms, max, line);
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<LocalConnection> connect_local_service(const std::string& path, int timeout_ms) {
    const int fd = posix::connect_local(path, timeout_ms);
    if (fd < 0) return nullptr;
    return std::make_unique<SocketConnection>(fd);
}

}  // namespace zd
