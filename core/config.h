#pragma once
#include <optional>
#include <string>

namespace zd {

constexpr const char* kConfigFileName = "Zendrill.ini";
constexpr int kPresetCount = 10;
constexpr int kStationCount = 30;

// What the tool remembers between runs.
struct Config {
    std::string comport = "Com1:";
    int win_x = 0;
    int win_y = 0;
    std::string quick_mode = "1200";
    std::string preset_names[kPresetCount];
    std::string presets[kPresetCount];
    std::string stations[kStationCount];
};

// One lookup of `key` in an INI text: nullopt when absent.
std::optional<std::string> find_text_entry(const std::string& file_text, const std::string& key);

// Comport of a configuration text as a port to open, blanks and tabs
// around it removed (they are no part of a device path); nullopt when it is
// absent or empty. The tool itself keeps the entry as it stands.
std::optional<std::string> configured_port(const std::string& file_text);

// All entries with their defaults for the absent ones.
Config parse_configuration(const std::string& file_text);
// One line as the files are written: key, " = ", value, CR LF.
std::string entry_line(const std::string& key, const std::string& value);
// The 54 lines, CR LF each, with the given window position.
std::string format_configuration(const Config& config, int win_x, int win_y);

}  // namespace zd
