#pragma once
#include <string>
#include <vector>

#include "sim/model.h"
#include "sim/reply_shaper.h"
#include "sim/state_file.h"

namespace zd::sim {

struct SimConfig {
    bool pacing = true;  // bytes at line rate, 1200 baud, 10 bits each
    ModelOptions model;
    FaultOptions faults;
    Preset preset;            // from the options; overrides the state file
    std::string state_path;   // --state
    std::string dump_path;    // --dump
    std::string log_path;     // --log, "-" for stderr
    bool log_json = false;    // --log-format json
    std::string control_path; // --control
    std::string link_path;    // --link
    bool help = false;
};

// Parses the arguments after the program name. False with a message on a
// bad option or value.
bool parse_options(const std::vector<std::string>& args, SimConfig& config, std::string& error);
std::string help_text();

// The state file named by --state (if any) with the preset options laid
// over it.
bool initial_preset(const SimConfig& config, Preset& preset, std::string& error);

}  // namespace zd::sim
