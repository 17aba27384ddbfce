#pragma once
#include <string>
#include <vector>

#include "device/clock_math.h"
#include "sim/model.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"

namespace zd::test {

// The simulator's B203 behind a fake port, in virtual time: what it answers
// is the simulator's own rule; this only carries the bytes and adds the
// line's faults.
struct SimB203 {
    struct Time : sim::TimeSource {
        explicit Time(VirtualClock& c) : clock(c) {}
        long long now_ms() override { return static_cast<long long>(static_cast<double>(clock.now) * rate); }
        VirtualClock& clock;
        double rate = 1.0;  // how fast the device's quartz runs; set before the clock is
    };
    FakePort& port;
    VirtualClock& clock;
    Time time{clock};
    sim::Model model{time};
    bool silent = false;
    bool frozen_clock = false;          // setting the clock has no effect
    bool xoff_before_replies = false;   // every reply holds the line
    std::vector<std::string> received;  // every write, as it came

    SimB203(FakePort& p, VirtualClock& c) : port(p), clock(c) {
        port.on_write = [this](const std::string& w) { take(w); };
    }
    // The device clock reads `seconds` (since 01.01.2000) now.
    void set_clock_s(long long seconds) { model.set_clock_ms(seconds * 1000); }
    void set_timer(int n, const std::string& record) { model.set_timer(n, record); }

    // A turnaround of 20 ms, then the line at 1200 baud.
    void reply(const std::string& line) {
        if (xoff_before_replies) port.held = true;
        if (!silent) port.arrive_after(20 + static_cast<long long>(line.size() + 2) * 25 / 3, line + "\r\n");
    }
    void take(const std::string& w) {
        received.push_back(w);
        if (w.size() < 3 || w.back() != '\r') return;
        const std::string line = w.substr(0, w.size() - 1);
        if (frozen_clock && (line.rfind("0T", 0) == 0 || line.rfind("0D", 0) == 0)) return reply("OK");
        const sim::Answer a = model.handle_line(line);
        if (a.has_line) reply(a.line);
    }
};

// Host time that runs on with the virtual clock.
struct RunningSystem : FakeSystem {
    VirtualClock& clock;
    long long base_s;
    RunningSystem(VirtualClock& c, long long base) : clock(c), base_s(base) {}
    LocalTime local_time() override {
        const CivilTime t = civil_time(base_s + clock.now / 1000);
        return LocalTime{t.year, t.month, t.day, t.hour, t.minute, t.second, static_cast<int>(clock.now % 1000), 60};
    }
};

}  // namespace zd::test
