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
    long long now_ms() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

}  // namespace

Clock& sleeping_clock() {
    static SleepingClock clock;
    return clock;
}

}  // namespace zd
