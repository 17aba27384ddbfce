#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>

#include "platform/system.h"

namespace zd {

namespace {

bool write_all(HANDLE h, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(h, content.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
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

    std::optional<std::string> read_file(const std::string& path) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return std::nullopt;
        std::string content;
        char buf[4096];
        DWORD got = 0;
        bool ok = true;
        while ((ok = ReadFile(h, buf, sizeof buf, &got, nullptr) != FALSE) && got > 0) content.append(buf, got);
        CloseHandle(h);
        if (!ok) return std::nullopt;
        return content;
    }

    bool replace_file(const std::string& path, const std::string& content) override {
        const std::string tmp = path + ".tmp";
        HANDLE h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        bool ok = write_all(h, content) && FlushFileBuffers(h);
        ok = CloseHandle(h) && ok;
        if (ok) {
            ok = (file_exists(path) &&
                  ReplaceFileA(path.c_str(), tmp.c_str(), nullptr, 0, nullptr, nullptr)) ||
                 MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        }
        if (!ok) DeleteFileA(tmp.c_str());
        return ok;
    }

    bool can_replace_file(const std::string& path) override {
        const std::string tmp = path + ".tmp";
        HANDLE h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        CloseHandle(h);
        return true;
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
