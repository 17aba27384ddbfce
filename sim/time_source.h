#pragma once

namespace zd::sim {

// Monotonic milliseconds that drive the device clock. Real time in the
// simulator program, hand-stepped time in tests.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    virtual long long now_ms() = 0;
};

// A time source the caller advances by hand.
class ManualTimeSource : public TimeSource {
public:
    long long now_ms() override { return now; }
    void advance_ms(long long ms) { now += ms; }
    long long now = 0;
};

}  // namespace zd::sim
