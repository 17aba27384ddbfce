// Any command line for the simulator (arguments split at NUL bytes): the
// parser either refuses with a message or yields values the device model
// takes as they are, and its state dump reads back.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/options.h"

namespace {

using namespace zd::sim;

void check_accepted(const SimConfig& c) {
    const FaultOptions& f = c.faults;
    if (f.turnaround_ms < 0 || f.turnaround_ms > 600000) __builtin_trap();
    if (f.late_ms < 0 || f.late_ms > 600000) __builtin_trap();
    if (f.burst_gap_ms < 0 || f.burst_gap_ms > 600000) __builtin_trap();
    if (f.burst_size < 1 || f.burst_size > 4096) __builtin_trap();
    if (f.hangup_after < 0 || f.hangup_after > 1000000) __builtin_trap();
    if (c.model.ack.find_first_of("\r\n") != std::string::npos) __builtin_trap();

    // Date before time, as the simulator applies them.
    ManualTimeSource clock;
    Model model(clock, c.model);
    const Preset& p = c.preset;
    if (p.date && !model.set_date(*p.date)) __builtin_trap();
    if (p.time && !model.set_time(*p.time)) __builtin_trap();
    if (p.settings && !model.set_settings(*p.settings)) __builtin_trap();
    if (p.ir && !model.set_ir(*p.ir)) __builtin_trap();
    for (int i = 0; i < kTimerCount; ++i)
        if (p.timers[i] && !model.set_timer(i + 1, *p.timers[i])) __builtin_trap();
    for (int i = 1; i < kAddressCount; ++i)
        if (p.devices[i] && !model.set_device(i, *p.devices[i])) __builtin_trap();

    const Snapshot s = model.snapshot();
    if (p.date && s.date != *p.date) __builtin_trap();
    if (p.time && s.time != *p.time) __builtin_trap();
    Preset back;
    std::string why;
    if (!parse_state_text(format_state(s), back, why)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args;
    const std::string all(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start < size;) {
        const std::size_t nul = std::min(all.find('\0', start), size);
        args.push_back(all.substr(start, nul - start));
        start = nul + 1;
    }
    SimConfig c;
    std::string error;
    const bool ok = parse_options(args, c, error);
    if (ok != error.empty()) __builtin_trap();
    if (ok) check_accepted(c);
    return 0;
}
