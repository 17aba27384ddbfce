#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/system.h"

namespace zd {

namespace {

class PosixSystem : public System {
public:
    LocalTime local_time() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        std::tm tm{};
        localtime_r(&ts.tv_sec, &tm);
        return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                         static_cast<int>(ts.tv_nsec / 1000000), static_cast<int>(tm.tm_gmtoff / 60)};
    }
    bool file_exists(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    std::optional<std::string> read_file(const std::string& path) override {
        std::ifstream in(path, std::ios::binary);
        if (!in) return std::nullopt;
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool replace_file(const std::string& path, const std::string& content) override {
        const std::string tmp = path + ".tmp";
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        std::size_t done = 0;
        bool ok = true;
        while (done < content.size()) {
            const ssize_t w = ::write(fd, content.data() + done, content.size() - done);
            if (w < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            done += static_cast<std::size_t>(w);
        }
        ok = ok && ::fsync(fd) == 0;
        ok = (::close(fd) == 0) && ok;
        if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
            std::remove(tmp.c_str());
            return false;
        }
        return true;
    }
    bool can_replace_file(const std::string& path) override {
        const std::string tmp = path + ".tmp";
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        ::close(fd);
        std::remove(tmp.c_str());
        return true;
    }
    std::string full_path(const std::string& name) override {
        char buf[PATH_MAX];
        if (!::getcwd(buf, sizeof buf)) return name;
        return std::string(buf) + "/" + name;
    }
    bool start_program(const std::string& path) override {
        const pid_t pid = ::fork();
        if (pid < 0) return false;
        if (pid == 0) {
            ::execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return true;
    }
};

}  // namespace

System& host_system() {
    static PosixSystem system;
    return system;
}

}  // namespace zd
