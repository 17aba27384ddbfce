#pragma once
#include <optional>
#include <string>
#include <vector>

namespace zd::cli {

enum class Command {
    None,
    Status,
    ClockSync,
    ClockShift,
    TimersList,
    TimersExport,
    TimersImport,
    Send,
    Scan,
    SettingsSend,
    Ir,
};

struct CliRequest {
    Command command = Command::None;
    std::optional<std::string> port;
    int wait_s = 30;         // how long a busy port is waited for
    bool json = false;
    bool dry_run = false;
    std::string argument;    // shift step, file, command line, settings, on/off
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name (UTF-8). False with a German
// message on a usage error.
bool parse_arguments(const std::vector<std::string>& args, CliRequest& request, std::string& error);

std::string help_text();
std::string version_text();

}  // namespace zd::cli
