#pragma once
#include <array>
#include <optional>
#include <string>

#include "sim/model.h"

// The state file: one "key=value" per line, the same form for presets and
// dumps. Keys: date=DDMMYY, time=HHMMSS, settings=NNNN, ir=0|1,
// timer1..timer5=<record or E>, device1..device9=<two-character code>.
namespace zd::sim {

struct Preset {
    std::optional<std::string> date, time, settings, ir;
    std::array<std::optional<std::string>, kTimerCount> timers;
    std::array<std::optional<std::string>, kAddressCount> devices;  // [0] unused
};

// Checks and stores one key; a later value for the same key wins.
bool set_preset_key(Preset& preset, const std::string& key, const std::string& value, std::string& error);
// Blank lines and lines starting with "#" are skipped; "\r" line ends are accepted.
bool parse_state_text(const std::string& text, Preset& preset, std::string& error);
// Everything in `later` that is set overrides `base`.
void merge_preset(Preset& base, const Preset& later);
// Date first, then time, so a time keeps its date.
void apply_preset(Model& model, const Preset& preset);
std::string format_state(const Snapshot& snapshot);

}  // namespace zd::sim
