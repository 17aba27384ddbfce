#include "app/config.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "device/text_util.h"

namespace zd {

namespace {

char fold(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || u >= 0xE0) return static_cast<char>(u - 0x20);
    return c;
}

// Where one "key = value" line holds its key and its value.
struct Entry {
    std::size_t key, key_end, value, value_end;
};

// Hands every key line to `take`, in file order, until `take` returns false
// or a line starts with "[".
template <typename Take>
void walk_entries(const std::string& t, Take take) {
    std::size_t line = 0;
    while (line < t.size()) {
        const std::size_t nl = t.find('\n', line);
        const std::size_t line_end = nl == std::string::npos ? t.size() : nl;
        if (t[line] == '[') return;
        std::size_t p = line;
        while (p < line_end && t[p] == ' ') ++p;
        if (p < line_end && t[p] != ';') {
            std::size_t eq = p;
            while (eq < line_end && t[eq] != '=' && t[eq] != '\r') ++eq;
            if (eq < line_end && t[eq] == '=') {
                std::size_t key_end = eq;
                while (key_end > p && t[key_end - 1] == ' ') --key_end;
                std::size_t v = eq + 1;
                while (v < line_end && t[v] == ' ') ++v;
                std::size_t v_end = v;
                while (v_end < line_end && t[v_end] != '\r') ++v_end;
                if (!take(Entry{p, key_end, v, v_end})) return;
            }
        }
        if (nl == std::string::npos) break;
        line = nl + 1;
    }
}

std::string folded(std::string key) {
    for (char& c : key) c = fold(c);
    return key;
}

// `folded_key` has been through fold() already.
bool key_is(const std::string& t, const Entry& e, const std::string& folded_key) {
    if (e.key_end - e.key != folded_key.size()) return false;
    for (std::size_t i = 0; i < folded_key.size(); ++i)
        if (fold(t[e.key + i]) != folded_key[i]) return false;
    return true;
}

std::string value_of(const std::string& t, const Entry& e) { return t.substr(e.value, e.value_end - e.value); }

// Value text of the first line holding `key`, or nullopt.
std::optional<std::string> find_value(const std::string& t, const std::string& key) {
    const std::string f = folded(key);
    std::optional<std::string> found;
    walk_entries(t, [&](const Entry& e) {
        if (!key_is(t, e, f)) return true;
        found = value_of(t, e);
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
            t.index.emplace(folded(k[i]), i);
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

std::optional<int> find_number_entry(const std::string& file_text, const std::string& key) {
    auto v = find_value(file_text, key);
    if (!v) return std::nullopt;
    return static_cast<int>(leading_number(*v));
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
    walk_entries(t, [&](const Entry& e) {
        if (e.key_end - e.key > keys.longest) return true;
        key.assign(t, e.key, e.key_end - e.key);
        for (char& ch : key) ch = fold(ch);
        const auto hit = keys.index.find(key);
        if (hit == keys.index.end() || seen[hit->second]) return true;
        seen[hit->second] = true;
        store_entry(c, hit->second, value_of(t, e));
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

std::string date_ddmmyy(int day, int month, int year) {
    return two_digit(day) + two_digit(month) + two_digit(((year % 100) + 100) % 100);
}

}  // namespace zd
