#include "platform/posix/posix_io.h"

#include <unistd.h>

#include <cerrno>

namespace zd {

ReadResult read_up_to(int fd, std::size_t limit) {
    std::string content;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return ReadResult::failed(io_text::errno_text(errno));
        }
        if (n == 0) return {std::move(content), {}};
        if (static_cast<std::size_t>(n) > limit - content.size()) return ReadResult::failed(io_text::too_large(limit));
        content.append(buf, static_cast<std::size_t>(n));
    }
}

IoResult write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            return IoResult::failed(io_text::errno_text(errno));
        }
        if (w == 0) return IoResult::failed(io_text::errno_text(EIO));
        done += static_cast<std::size_t>(w);
    }
    return IoResult::done();
}

}  // namespace zd
