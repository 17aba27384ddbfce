#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace zd {

namespace {

class SleepingClock : public Clock {
public:
    void pause_ms(int ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

}  // namespace

Clock& sleeping_clock() {
    static SleepingClock clock;
    return clock;
}

}  // namespace zd
