#pragma once
#include <map>
#include <string>

#include "device/clock_math.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"

namespace zd::test {

// A small B203 behind a fake port: its clock runs with virtual time from a
// start, it keeps settings, IR and five timers, and answers as the device does.
struct FakeB203 {
    FakePort& port;
    VirtualClock& clock;
    long long clock_base_s = 0;  // device seconds since 1.1.2000 at virtual time 0
    long long clock_offset_ms = 0;  // where within its second the device clock was set
    std::string settings = "1000";
    std::string ir = "0";
    std::map<char, std::string> timers;  // digit -> record; absent: empty
    bool silent = false;
    bool refuse_writes = false;
    bool frozen_clock = false;  // setting the clock has no effect
    bool xoff_before_replies = false;  // every reply holds the line
    std::vector<std::string> received;

    FakeB203(FakePort& p, VirtualClock& c) : port(p), clock(c) {
        port.on_write = [this](const std::string& w) { take(w); };
    }

    long long device_seconds() const { return clock_base_s + (clock.now + clock_offset_ms) / 1000; }
    // The clock starts the second it is set to at once, as the device's does.
    void set_clock(int y, int mo, int d, int h, int mi, int s) {
        clock_base_s = civil_seconds(y, mo, d, h, mi, s);
        clock_offset_ms = -clock.now;
    }
    std::string record() const {
        const LocalTime t = local_from_seconds(device_seconds());
        return "0X:" + date_ddmmyy(t.day, t.month, t.year) + time_hhmmss(t.hour, t.minute, t.second) + settings + ir;
    }
    static LocalTime local_from_seconds(long long t) {
        const int second = static_cast<int>(t % 60), minute = static_cast<int>(t / 60 % 60),
                  hour = static_cast<int>(t / 3600 % 24);
        long long days = t / 86400;
        int year = 2000, month = 1;
        const auto leap = [](int y) { return y % 4 == 0; };
        for (;;) {
            const int n = leap(year) ? 366 : 365;
            if (days < n) break;
            days -= n;
            ++year;
        }
        const int lengths[12] = {31, leap(year) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        while (days >= lengths[month - 1]) days -= lengths[month++ - 1];
        return LocalTime{year, month, static_cast<int>(days) + 1, hour, minute, second, 0, 60};
    }
    // A turnaround of 20 ms, then the line at 1200 baud.
    void reply(const std::string& line) {
        if (xoff_before_replies) port.held = true;
        if (!silent) port.arrive_after(20 + static_cast<long long>(line.size() + 2) * 25 / 3, line + "\r\n");
    }
    void take(const std::string& w) {
        received.push_back(w);
        if (w.size() < 3 || w.back() != '\r') return;
        const std::string body = w.substr(0, w.size() - 1);
        if (body == "0X") return reply(record());
        if (body.rfind("0S", 0) == 0) {
            settings = body.substr(2);
            return reply("OK");
        }
        if (body.rfind("0R", 0) == 0) {
            ir = body.substr(2);
            return reply("OK");
        }
        if (body.rfind("0T", 0) == 0 || body.rfind("0D", 0) == 0) {
            if (!frozen_clock) apply_clock(body);
            return reply("OK");
        }
        if (body.rfind("0C0", 0) == 0 && body.size() == 4) {
            auto it = timers.find(body[3]);
            return reply("0C0" + std::string(1, body[3]) + std::string(1, body[3]) +
                         (it == timers.end() ? "E" : it->second));
        }
        if (body.rfind("0E0", 0) == 0 && body.size() >= 5) {
            if (refuse_writes) return reply("\a");
            const std::string rec = body.substr(4);
            if (rec == "E")
                timers.erase(body[3]);
            else
                timers[body[3]] = rec;
            return reply("OK");
        }
        if (body.rfind("0V0", 0) == 0) return reply("OK");
    }
    void apply_clock(const std::string& body) {
        const std::string r = record();
        std::string date = r.substr(3, 6), time = r.substr(9, 6);
        if (body[1] == 'T') time = body.substr(2);
        if (body[1] == 'D') date = body.substr(2);
        const int d = std::stoi(date.substr(0, 2)), mo = std::stoi(date.substr(2, 2)),
                  y = 2000 + std::stoi(date.substr(4, 2));
        set_clock(y, mo, d, std::stoi(time.substr(0, 2)), std::stoi(time.substr(2, 2)), std::stoi(time.substr(4, 2)));
    }
};

// Host time that runs on with the virtual clock.
struct RunningSystem : FakeSystem {
    VirtualClock& clock;
    long long base_s;
    RunningSystem(VirtualClock& c, long long base) : clock(c), base_s(base) {}
    LocalTime local_time() override {
        LocalTime t = FakeB203::local_from_seconds(base_s + clock.now / 1000);
        t.millisecond = static_cast<int>(clock.now % 1000);
        return t;
    }
};

}  // namespace zd::test
