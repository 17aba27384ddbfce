#pragma once
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "sim/model.h"

// Turns the device's reply lines into what goes on the wire, with the
// faults a test asked for: silence, delays, bursts, stray, extra or
// garbage bytes, and a line that drops in the middle of a reply.
namespace zd::sim {

struct FaultOptions {
    bool silent = false;                                // no device answers
    std::array<bool, kAddressCount> silent_addresses{};  // these addresses never answer
    int turnaround_ms = 20;  // pause between the command's "\r" and the reply
    int late_ms = 0;         // added to the turnaround
    int burst_gap_ms = 0;    // > 0: the reply goes out in bursts with these gaps
    int burst_size = 4;      // bytes per burst
    std::string stray;       // sent before each reply
    std::string extra;       // appended to each reply line before "\r\n"
    bool garbage = false;    // each reply line replaced by garbage
    int hangup_after = 0;    // > 0: the line drops in the middle of this reply
};

struct Segment {
    // Pause before the first byte: for the first segment counted from the
    // command's "\r", for later ones from the end of the previous segment.
    int delay_ms = 0;
    std::string bytes;
};

struct Transmission {
    std::vector<Segment> segments;
    bool hangup = false;  // close the line once the segments are out
    std::string bytes() const;
};

class ReplyShaper {
public:
    explicit ReplyShaper(FaultOptions options) : options_(std::move(options)) {}

    // Nothing when the address is silenced or the line is already down.
    std::optional<Transmission> shape(int address, const std::string& line);
    int replies() const { return replies_; }
    const FaultOptions& options() const { return options_; }

private:
    std::string garbage_line();

    FaultOptions options_;
    int replies_ = 0;
    bool hung_up_ = false;
    unsigned long long garbage_seed_ = 0x2545F4914F6CDD1DULL;
};

}  // namespace zd::sim
