#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/serial_port.h"
#include "platform/stop_request.h"
#include "platform/win32/device_path.h"
#include "platform/win32/win32_error.h"

namespace zd {

namespace {

constexpr DWORD kQueueBytes = 256;

// Sending goes on as if XOFF and then XON had come. XON alone would do on
// Windows; under Wine it only undoes an XOFF of its own, not the kernel's
// hold after the device's XOFF.
void lift_xoff_hold(HANDLE h) {
    EscapeCommFunction(h, SETXOFF);
    EscapeCommFunction(h, SETXON);
}

class Win32SerialPort : public SerialPort {
public:
    explicit Win32SerialPort(HANDLE h, HANDLE run_lock = nullptr) : h_(h), run_lock_(run_lock) {}
    ~Win32SerialPort() override { close(); }
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    int bytes_waiting() override {
        if (h_ == INVALID_HANDLE_VALUE) return 0;
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(h_, &errors, &stat)) return 0;
        return static_cast<int>(stat.cbInQue);
    }
    bool read_byte(unsigned char& byte) override {
        if (h_ == INVALID_HANDLE_VALUE) return false;
        DWORD got = 0;
        return ReadFile(h_, &byte, 1, &got, nullptr) && got == 1;
    }
    bool write_bytes(const std::string& bytes) override {
        if (h_ == INVALID_HANDLE_VALUE) return false;
        if (bytes.empty()) return true;
        set_write_deadline(bytes.size());
        DWORD done = 0;
        if (WriteFile(h_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size())
            return true;
        // Held by XOFF past the deadline: what is left is dropped, so it
        // cannot go out late, and the hold is lifted for the next write.
        PurgeComm(h_, PURGE_TXABORT | PURGE_TXCLEAR);
        lift_xoff_hold(h_);
        return false;
    }
    void close() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        if (run_lock_) {
            ReleaseMutex(run_lock_);
            CloseHandle(run_lock_);
            run_lock_ = nullptr;
        }
    }

private:
    // The write time-out is the whole write's deadline; the read time-outs
    // stay as the open set them.
    void set_write_deadline(std::size_t bytes) {
        const DWORD ms = static_cast<DWORD>(std::min<long long>(write_deadline_ms(bytes), 600000));
        if (ms == write_deadline_set_) return;
        COMMTIMEOUTS t{};
        if (!GetCommTimeouts(h_, &t)) return;
        t.WriteTotalTimeoutMultiplier = 0;
        t.WriteTotalTimeoutConstant = ms;
        if (SetCommTimeouts(h_, &t)) write_deadline_set_ = ms;
    }

    HANDLE h_;
    HANDLE run_lock_;
    DWORD write_deadline_set_ = 0;
};

// Runs of the tool on one port also take a named mutex: Wine does not refuse
// a second open of a COM port the way Windows does.
std::string run_lock_name(const std::string& port_name) {
    std::string name = "Global\\ZendrillPort-";
    for (char c : port_device_name(port_name)) name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return name;
}

// Line settings; a step that fails leaves the port as it is, still usable.
void configure(HANDLE h, const std::string& open_text) {
    SetupComm(h, kQueueBytes, kQueueBytes);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) return;
    if (!BuildCommDCBA(open_text.c_str(), &dcb)) return;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = kQueueBytes / 10;
    dcb.XoffLim = kQueueBytes / 10 * 7;
    if (!SetCommState(h, &dcb)) return;
    // An XOFF the device sent to an earlier holder does not hold this one.
    lift_xoff_hold(h);
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = 100;
    t.ReadTotalTimeoutMultiplier = 10;
    t.ReadTotalTimeoutConstant = 100;
    // Each write sets its own deadline (write_bytes).
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = static_cast<DWORD>(write_deadline_ms(0));
    SetCommTimeouts(h, &t);
}

std::string open_failure_reason(DWORD err) {
    switch (err) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return "Port nicht vorhanden";
        default: return win32::error_text(err);
    }
}

}  // namespace

ExclusiveOpen open_serial_port_exclusive(const std::string& port_name, int wait_ms) {
    ExclusiveOpen r;
    if (!is_valid_port_name(port_name)) {
        r.reason = "ungültiger Portname";
        return r;
    }
    const std::string path = port_device_path(port_name);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(wait_ms > 0 ? wait_ms : 0);
    HANDLE run_lock = CreateMutexA(nullptr, FALSE, run_lock_name(port_name).c_str());
    if (run_lock) {
        // In slices, so that a stop request ends the wait.
        DWORD got = WAIT_TIMEOUT;
        for (;;) {
            const ULONGLONG now = GetTickCount64();
            const DWORD slice = static_cast<DWORD>(now >= deadline ? 0 : std::min<ULONGLONG>(deadline - now, 100));
            got = WaitForSingleObject(run_lock, slice);
            if (got != WAIT_TIMEOUT || slice == 0 || stop_requested()) break;
        }
        if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) {
            CloseHandle(run_lock);
            r.result = ExclusiveOpen::Result::Busy;
            return r;
        }
    }
    const auto give_up = [&] {
        if (run_lock) {
            ReleaseMutex(run_lock);
            CloseHandle(run_lock);
        }
    };
    for (;;) {
        // Without sharing, as the GUI opens it: a port in use refuses the open.
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            configure(h, port_open_text(port_name));
            r.port = std::make_unique<Win32SerialPort>(h, run_lock);
            r.result = ExclusiveOpen::Result::Opened;
            return r;
        }
        const DWORD err = GetLastError();
        if (err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) {
            give_up();
            r.reason = open_failure_reason(err);
            return r;
        }
        if (GetTickCount64() >= deadline || stop_requested()) {
            give_up();
            r.result = ExclusiveOpen::Result::Busy;
            return r;
        }
        Sleep(100);
    }
}

std::unique_ptr<SerialPort> open_serial_port(const std::string& port_name) {
    const std::string open_text = port_open_text(port_name);
    const std::string path = port_device_path(port_name);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    configure(h, open_text);
    return std::make_unique<Win32SerialPort>(h);
}

}  // namespace zd
