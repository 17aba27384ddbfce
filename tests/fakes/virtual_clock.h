#pragma once
#include <functional>
#include <vector>

#include "platform/clock.h"

namespace zd::test {

// A clock whose pause advances virtual time at once.
class VirtualClock : public Clock {
public:
    void pause_ms(int ms) override {
        pauses.push_back(ms);
        now += ms;
        if (on_pause) on_pause(now);
    }
    long long now_ms() override { return now; }
    long long now = 0;
    std::vector<int> pauses;
    std::function<void(long long)> on_pause;  // called after each pause
};

}  // namespace zd::test
