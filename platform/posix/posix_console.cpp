#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/console.h"
#include "platform/posix/posix_io.h"

namespace zd {

void guard_standard_streams() {
    // A vanished reader (`| head`) would otherwise end the program at once,
    // perhaps in the middle of an exchange with the device.
    ::signal(SIGPIPE, SIG_IGN);
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // Open the wrong way round, so every read or write on it fails.
        const int stand_in = ::open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_NOCTTY);
        if (stand_in >= 0 && stand_in != fd) {
            ::dup2(stand_in, fd);
            ::close(stand_in);
        }
    }
}

IoResult write_console_text(ConsoleStream stream, const std::string& utf8) {
    return write_all(stream == ConsoleStream::Out ? STDOUT_FILENO : STDERR_FILENO, utf8);
}

IoResult write_console_bytes(const std::string& bytes) { return write_all(STDOUT_FILENO, bytes); }

ReadResult read_console_input(std::size_t limit) { return read_up_to(STDIN_FILENO, limit); }

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace zd
