#pragma once

namespace zd {

// The only way the tool waits. The Win32 implementation lets paint
// messages through while it waits, so progress texts stay visible.
class Clock {
public:
    virtual ~Clock() = default;
    virtual void pause_ms(int ms) = 0;
    // Milliseconds on a steady count, for limits measured in real time.
    virtual long long now_ms() = 0;
};

// Real pauses for programs without windows: the thread sleeps.
Clock& sleeping_clock();

}  // namespace zd
