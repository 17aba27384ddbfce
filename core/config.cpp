#include "core/config.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/ini.h"
#include "device/text_util.h"

namespace zd {

namespace {

// The first entry of `key` before any section, or nullopt.
std::optional<std::string> find_value(const std::string& t, const std::string& key) {
    std::optional<std::string> found;
    for_each_ini_line(t, [&](const IniLine& l) {
        if (l.is_section) return false;
        if (!l.has_entry || !same_key(l.key, key)) return true;
        found = std::string(l.value);
        return false;
    });
    return found;
}

// Each key of the configuration, folded, with its place in file order.
constexpr std::size_t kKeyCount = 4 + 2 * kPresetCount + kStationCount;
struct KeyTable {
    std::unordered_map<std::string, std::size_t> index;
    std::size_t longest = 0;
};
const KeyTable& configuration_keys() {
    static const KeyTable table = [] {
        std::vector<std::string> k{"Comport", "WinXPos", "WinYPos", "B203Modus"};
        for (int n = 0; n < kPresetCount; ++n) {
            k.push_back("Presetname" + std::to_string(n));
            k.push_back("Preset" + std::to_string(n));
        }
        for (int n = 0; n < kStationCount; ++n) k.push_back("Station" + std::to_string(n));
        KeyTable t;
        for (std::size_t i = 0; i < k.size(); ++i) {
            std::string key = k[i];
            for (char& ch : key) ch = fold_key_char(ch);
            t.index.emplace(key, i);
            if (k[i].size() > t.longest) t.longest = k[i].size();
        }
        return t;
    }();
    return table;
}

void store_entry(Config& c, std::size_t index, std::string value) {
    if (index == 0) {
        c.comport = std::move(value);
    } else if (index == 1) {
        c.win_x = static_cast<int>(leading_number(value));
    } else if (index == 2) {
        c.win_y = static_cast<int>(leading_number(value));
    } else if (index == 3) {
        c.quick_mode = std::move(value);
    } else if (index < 4 + 2 * kPresetCount) {
        const std::size_t n = (index - 4) / 2;
        ((index - 4) % 2 == 0 ? c.preset_names[n] : c.presets[n]) = std::move(value);
    } else {
        c.stations[index - 4 - 2 * kPresetCount] = std::move(value);
    }
}

void append_line(std::string& out, const std::string& key, const std::string& value) {
    out += entry_line(key, value);
}

}  // namespace

std::optional<std::string> find_text_entry(const std::string& file_text, const std::string& key) {
    return find_value(file_text, key);
}

std::optional<std::string> configured_port(const std::string& file_text) {
    auto port = find_value(file_text, "Comport");
    if (!port) return std::nullopt;
    const auto first = port->find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    return port->substr(first, port->find_last_not_of(" \t") - first + 1);
}

std::string entry_line(const std::string& key, const std::string& value) { return key + " = " + value + "\r\n"; }

Config parse_configuration(const std::string& t) {
    Config c;
    for (int n = 0; n < kPresetCount; ++n) c.preset_names[n] = std::to_string(n);
    // One walk for all keys: a walk per key made long files quadratic.
    const KeyTable& keys = configuration_keys();
    bool seen[kKeyCount] = {};
    std::size_t left = kKeyCount;
    std::string key;
    for_each_ini_line(t, [&](const IniLine& l) {
        if (l.is_section) return false;
        if (!l.has_entry || l.key.size() > keys.longest) return true;
        key.assign(l.key);
        for (char& ch : key) ch = fold_key_char(ch);
        const auto hit = keys.index.find(key);
        if (hit == keys.index.end() || seen[hit->second]) return true;
        seen[hit->second] = true;
        store_entry(c, hit->second, std::string(l.value));
        return --left > 0;
    });
    return c;
}

std::string format_configuration(const Config& c, int win_x, int win_y) {
    std::string out;
    append_line(out, "Comport", c.comport);
    append_line(out, "WinXPos", std::to_string(win_x));
    append_line(out, "WinYPos", std::to_string(win_y));
    append_line(out, "B203Modus", c.quick_mode);
    for (int n = 0; n < kPresetCount; ++n) {
        append_line(out, "Presetname" + std::to_string(n), c.preset_names[n]);
        append_line(out, "Preset" + std::to_string(n), c.presets[n]);
    }
    for (int n = 0; n < kStationCount; ++n) append_line(out, "Station" + std::to_string(n), c.stations[n]);
    return out;
}

}  // namespace zd
