#pragma once
#include "platform/clock.h"

namespace zd {

// Waits while letting only paint and sent messages through, so a progress
// text set before a device wait shows and uncovered windows repaint; user
// input stays queued until the wait is over.
class Win32Clock : public Clock {
public:
    void pause_ms(int ms) override;
    long long now_ms() override;
};

}  // namespace zd
