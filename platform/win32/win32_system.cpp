#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <random>

#include "platform/system.h"
#include "platform/win32/win32_error.h"

namespace zd {

namespace {

IoResult last_error() { return IoResult::failed(win32::error_text(GetLastError())); }

IoResult write_all(HANDLE h, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(h, content.data() + done, chunk, &written, nullptr)) return last_error();
        if (written == 0) return IoResult::failed(win32::error_text(ERROR_WRITE_FAULT));
        done += written;
    }
    return IoResult::done();
}

// What stands at `path`: nothing, a regular file (its attributes in
// `attributes`, its final path in `final_path`), or something refused.
struct Found {
    bool exists = false;
    DWORD attributes = 0;
    std::string final_path;
};

IoResult look_at(const std::string& path, Found& f) {
    // No access asked for: enough to learn what it is, also of a device.
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        return err == ERROR_FILE_NOT_FOUND ? IoResult::done() : IoResult::failed(win32::error_text(err));
    }
    IoResult r = IoResult::done();
    const DWORD type = GetFileType(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (type == FILE_TYPE_CHAR) {
        r = IoResult::failed(io_text::kDevice);
    } else if (type == FILE_TYPE_PIPE) {
        r = IoResult::failed(io_text::kFifo);
    } else if (type != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info)) {
        r = IoResult::failed(io_text::kOther);
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        r = IoResult::failed(io_text::kDirectory);
    } else {
        f.exists = true;
        f.attributes = info.dwFileAttributes;
        // A link is followed: the file it leads to is the one replaced.
        char buf[MAX_PATH * 2];
        const DWORD n = GetFinalPathNameByHandleA(h, buf, sizeof buf, FILE_NAME_NORMALIZED);
        f.final_path = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && n > 0 && n < sizeof buf
                           ? std::string(buf, n)
                           : path;
    }
    CloseHandle(h);
    return r;
}

IoResult find_target(const std::string& path, Found& f) {
    if (IoResult r = look_at(path, f); !r) return r;
    if (!f.exists) f.final_path = path;
    if (f.exists && (f.attributes & FILE_ATTRIBUTE_READONLY)) return IoResult::failed(io_text::kReadOnly);
    return IoResult::done();
}

// "FILE.xxxxxxxx.tmp" beside the target, new and ours alone, open for
// writing; INVALID_HANDLE_VALUE with the reason in `error`.
HANDLE create_temp(const std::string& target, std::string& name, std::string& error) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    // CREATE_NEW makes the name ours; the numbers only spread the tries.
    std::mt19937 random(static_cast<unsigned>(GetTickCount64()) ^ (GetCurrentProcessId() << 16));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 8; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
        name = target + "." + suffix + ".tmp";
        HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        const DWORD err = GetLastError();
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) {
            error = win32::error_text(err);
            return INVALID_HANDLE_VALUE;
        }
    }
    error = win32::error_text(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

class Win32System : public System {
public:
    LocalTime local_time() override {
        SYSTEMTIME t{};
        GetLocalTime(&t);
        TIME_ZONE_INFORMATION tz{};
        const DWORD zone = GetTimeZoneInformation(&tz);
        const long bias = tz.Bias + (zone == TIME_ZONE_ID_DAYLIGHT   ? tz.DaylightBias
                                     : zone == TIME_ZONE_ID_STANDARD ? tz.StandardBias
                                                                     : 0);
        return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                         static_cast<int>(-bias)};
    }

    bool file_exists(const std::string& path) override {
        WIN32_FIND_DATAA data{};
        HANDLE h = FindFirstFileA(path.c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) return false;
        FindClose(h);
        return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    ReadResult read_file(const std::string& path, std::size_t limit) override {
        Found f;
        if (IoResult r = look_at(path, f); !r) return ReadResult::failed(r.error);
        if (!f.exists) return ReadResult::failed(win32::error_text(ERROR_FILE_NOT_FOUND));
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return ReadResult::failed(win32::error_text(GetLastError()));
        LARGE_INTEGER size{};
        ReadResult r;
        if (GetFileType(h) != FILE_TYPE_DISK) {
            r = ReadResult::failed(io_text::kOther);
        } else if (!GetFileSizeEx(h, &size)) {
            r = ReadResult::failed(win32::error_text(GetLastError()));
        } else if (static_cast<std::uint64_t>(size.QuadPart) > limit) {
            r = ReadResult::failed(io_text::too_large(limit, static_cast<std::uint64_t>(size.QuadPart)));
        } else {
            std::string content;
            char buf[4096];
            DWORD got = 0;
            bool ok = true;
            while ((ok = ReadFile(h, buf, sizeof buf, &got, nullptr) != FALSE) && got > 0) {
                if (got > limit - content.size()) break;
                content.append(buf, got);
            }
            if (!ok)
                r = ReadResult::failed(win32::error_text(GetLastError()));
            else if (got > 0)
                r = ReadResult::failed(io_text::too_large(limit));
            else
                r.content = std::move(content);
        }
        CloseHandle(h);
        return r;
    }

    IoResult replace_file(const std::string& path, const std::string& content) override {
        Found f;
        if (IoResult r = find_target(path, f); !r) return r;
        std::string tmp, error;
        HANDLE h = create_temp(f.final_path, tmp, error);
        if (h == INVALID_HANDLE_VALUE) return IoResult::failed(error);
        IoResult r = write_all(h, content);
        if (r && !FlushFileBuffers(h)) r = last_error();
        if (!CloseHandle(h) && r) r = last_error();
        if (r) {
            // ReplaceFile keeps the target's attributes and permissions.
            const bool moved =
                (f.exists && ReplaceFileA(f.final_path.c_str(), tmp.c_str(), nullptr, 0, nullptr, nullptr)) ||
                MoveFileExA(tmp.c_str(), f.final_path.c_str(),
                            (f.exists ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH);
            if (!moved) r = last_error();
        }
        if (!r) DeleteFileA(tmp.c_str());
        return r;
    }

    IoResult can_replace_file(const std::string& path) override {
        Found f;
        if (IoResult r = find_target(path, f); !r) return r;
        std::string tmp, error;
        HANDLE h = create_temp(f.final_path, tmp, error);
        if (h == INVALID_HANDLE_VALUE) return IoResult::failed(error);
        CloseHandle(h);
        DeleteFileA(tmp.c_str());
        return IoResult::done();
    }

    std::string full_path(const std::string& name) override {
        const DWORD n = GetFullPathNameA(name.c_str(), 0, nullptr, nullptr);
        if (n == 0) return name;
        std::string out(n, '\0');
        const DWORD len = GetFullPathNameA(name.c_str(), n, out.data(), nullptr);
        if (len == 0 || len >= n) return name;
        out.resize(len);
        return out;
    }

    bool start_program(const std::string& full) override {
        // The shell may hand the start to extensions that need COM.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        SHELLEXECUTEINFOA sei{};
        sei.cbSize = sizeof sei;
        sei.fMask = SEE_MASK_NOASYNC;  // the tool ends right after the start
        sei.lpVerb = "Open";
        sei.lpFile = full.c_str();
        sei.nShow = SW_SHOWNORMAL;
        const bool ok = ShellExecuteExA(&sei) != FALSE;
        if (SUCCEEDED(com)) CoUninitialize();
        return ok;
    }
};

}  // namespace

System& host_system() {
    static Win32System system;
    return system;
}

}  // namespace zd
