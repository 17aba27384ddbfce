#pragma once
#include "platform/clock.h"

namespace zd {

// Real time pauses.
class PosixClock : public Clock {
public:
    void pause_ms(int ms) override;
};

}  // namespace zd
