#include "platform/posix/posix_clock.h"

#include <chrono>
#include <thread>

namespace zd {

void PosixClock::pause_ms(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace zd
