#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <random>

#include "platform/posix/posix_io.h"
#include "platform/system.h"

namespace zd {

namespace {

std::string refusal(mode_t mode) {
    if (S_ISDIR(mode)) return io_text::kDirectory;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return io_text::kDevice;
    if (S_ISFIFO(mode)) return io_text::kFifo;
    if (S_ISSOCK(mode)) return io_text::kSocket;
    return io_text::kOther;
}

IoResult failed_errno() { return IoResult::failed(io_text::errno_text(errno)); }

// The file replace_file writes: `path` itself, or the regular file a
// symbolic link there leads to.
struct Target {
    std::string path;
    bool exists = false;
    struct stat st {};
};

IoResult find_target(const std::string& path, Target& t) {
    t.path = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? IoResult::done() : failed_errno();
    if (S_ISLNK(st.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real) return errno == ENOENT ? IoResult::failed(io_text::kDanglingLink) : failed_errno();
        t.path = real;
        std::free(real);
        if (::stat(t.path.c_str(), &st) != 0) return failed_errno();
    }
    if (!S_ISREG(st.st_mode)) return IoResult::failed(refusal(st.st_mode));
    // A file its owner made read-only is not ours to replace.
    if (::access(t.path.c_str(), W_OK) != 0) return errno == EACCES ? IoResult::failed(io_text::kReadOnly) : failed_errno();
    t.exists = true;
    t.st = st;
    return IoResult::done();
}

// Between the check and the rename something else may have taken the
// target's place; a rename would replace that too.
IoResult still_replaceable(const Target& t) {
    struct stat st {};
    if (::lstat(t.path.c_str(), &st) != 0) return errno == ENOENT ? IoResult::done() : failed_errno();
    return S_ISREG(st.st_mode) ? IoResult::done() : IoResult::failed(refusal(st.st_mode));
}

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// "FILE.xxxxxxxx.tmp" beside the target, made by us alone: O_EXCL, and a
// link planted under that name is not followed.
int create_temp(const std::string& target, mode_t mode, std::string& name, std::string& error) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const std::string folder = folder_of(target);
    std::string base = target.substr(folder.size());
    if (base.size() > 200) base.resize(200);  // the name with its suffix stays within 255 bytes
    // O_EXCL makes the name ours; the numbers only spread the tries.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::mt19937 random(static_cast<unsigned>(now.tv_nsec) ^ static_cast<unsigned>(now.tv_sec) ^
                        (static_cast<unsigned>(::getpid()) << 16));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 8; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
        name = folder + base + "." + suffix + ".tmp";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) {
            error = errno == ENOENT ? io_text::kFolderMissing : io_text::errno_text(errno);
            return -1;
        }
    }
    error = io_text::errno_text(EEXIST);
    return -1;
}

// The rename itself lasts past a power loss only once the folder is synced.
void sync_folder(const std::string& path) {
    const std::string folder = folder_of(path);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// While a temporary file exists, the signals that end the program wait, so
// that it is always removed or in place; they arrive afterwards.
class EndingSignalsHeld {
public:
    EndingSignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
        sigprocmask(SIG_BLOCK, &set, &before_);
    }
    ~EndingSignalsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
    sigset_t before_{};
};

class PosixSystem : public System {
public:
    std::string zone_name() override {
        if (const char* tz = std::getenv("TZ"); tz && *tz) return tz[0] == ':' ? tz + 1 : tz;
        char target[256] = {};
        const ssize_t n = ::readlink("/etc/localtime", target, sizeof target - 1);
        if (n <= 0) return "";
        const std::string path(target, static_cast<std::size_t>(n));
        const auto at = path.find("zoneinfo/");
        return at == std::string::npos ? "" : path.substr(at + 9);
    }

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
    ReadResult read_file(const std::string& path, std::size_t limit) override {
        // Looked at before it is opened: opening a device or a FIFO can
        // already do something.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return ReadResult::failed(io_text::errno_text(errno));
        if (!S_ISREG(st.st_mode)) return ReadResult::failed(refusal(st.st_mode));
        if (static_cast<std::uint64_t>(st.st_size) > limit)
            return ReadResult::failed(io_text::too_large(limit, static_cast<std::uint64_t>(st.st_size)));
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return ReadResult::failed(io_text::errno_text(errno));
        ReadResult r;
        struct stat opened {};
        if (::fstat(fd, &opened) != 0)
            r = ReadResult::failed(io_text::errno_text(errno));
        else if (!S_ISREG(opened.st_mode))
            r = ReadResult::failed(refusal(opened.st_mode));
        else
            r = read_up_to(fd, limit);
        ::close(fd);
        return r;
    }
    IoResult replace_file(const std::string& path, const std::string& content) override {
        Target t;
        if (IoResult r = find_target(path, t); !r) return r;
        EndingSignalsHeld held;
        std::string tmp, error;
        // A replaced file may be private: its content is never readable by
        // more people than before.
        const int fd = create_temp(t.path, t.exists ? 0600 : 0644, tmp, error);
        if (fd < 0) return IoResult::failed(error);
        IoResult r = write_all(fd, content);
        if (r && t.exists) {
            // Owner first, since a change of owner clears set-id bits; as
            // someone else we keep our own name, which is all we may do.
            if (::fchown(fd, t.st.st_uid, t.st.st_gid) != 0) {
            }
            if (::fchmod(fd, t.st.st_mode & 07777) != 0) r = failed_errno();
        }
        if (r && ::fsync(fd) != 0) r = failed_errno();
        if (::close(fd) != 0 && r) r = failed_errno();
        if (r) r = still_replaceable(t);
        if (r && std::rename(tmp.c_str(), t.path.c_str()) != 0) r = failed_errno();
        if (!r) {
            ::unlink(tmp.c_str());
            return r;
        }
        sync_folder(t.path);
        return r;
    }
    IoResult can_replace_file(const std::string& path) override {
        Target t;
        if (IoResult r = find_target(path, t); !r) return r;
        EndingSignalsHeld held;
        std::string tmp, error;
        const int fd = create_temp(t.path, 0600, tmp, error);
        if (fd < 0) return IoResult::failed(error);
        ::close(fd);
        ::unlink(tmp.c_str());
        return IoResult::done();
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
