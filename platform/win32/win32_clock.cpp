#include "platform/win32/win32_clock.h"

#include <windows.h>

namespace zd {

namespace {

void dispatch_paint() {
    MSG msg;
    // Sent messages are delivered inside PeekMessage whatever the filter.
    while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
}

}  // namespace

long long Win32Clock::now_ms() { return static_cast<long long>(GetTickCount64()); }

void Win32Clock::pause_ms(int ms) {
    if (ms <= 0) return;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    for (;;) {
        dispatch_paint();
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_PAINT | QS_SENDMESSAGE, 0);
    }
}

namespace {

class SleepingClock : public Clock {
public:
    void pause_ms(int ms) override {
        if (ms > 0) Sleep(static_cast<DWORD>(ms));
    }
    long long now_ms() override { return static_cast<long long>(GetTickCount64()); }
};

}  // namespace

Clock& sleeping_clock() {
    static SleepingClock clock;
    return clock;
}

}  // namespace zd
