#include "platform/posix/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zd::posix {

namespace {

std::string open_reason(int err) {
    switch (err) {
        case ENOENT: return "nicht vorhanden";
        case EACCES:
        case EPERM: return "keine Leseberechtigung";
        case EISDIR: return "ist ein Verzeichnis";
        case ENAMETOOLONG: return "Name zu lang";
        case ELOOP: return "zu viele symbolische Verweise";
        case ENOTDIR: return "ein Teil des Pfades ist kein Verzeichnis";
        default: return "nicht lesbar (Fehler " + std::to_string(err) + ")";
    }
}

}  // namespace

bool read_small_file(const std::string& path, std::size_t max, std::string& content, std::string& reason) {
    // O_NONBLOCK: a FIFO must not hold the open until a writer comes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        reason = open_reason(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = S_ISDIR(st.st_mode) ? "ist ein Verzeichnis" : "ist keine gewöhnliche Datei";
        ::close(fd);
        return false;
    }
    if (static_cast<unsigned long long>(st.st_size) > max) {
        reason = "zu groß (mehr als " + std::to_string(max) + " Bytes)";
        ::close(fd);
        return false;
    }
    content.clear();
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            reason = open_reason(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        content.append(buf, static_cast<std::size_t>(n));
        if (content.size() > max) {
            reason = "zu groß (mehr als " + std::to_string(max) + " Bytes)";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

}  // namespace zd::posix
