#include "app/config.h"

#include "device/text_util.h"

namespace zd {

namespace {

char fold(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || u >= 0xE0) return static_cast<char>(u - 0x20);
    return c;
}

bool equal_folded(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

// Value text of the first line holding `key`, or nullopt.
std::optional<std::string> find_value(const std::string& t, const std::string& key) {
    std::size_t line = 0;
    while (line < t.size()) {
        const std::size_t nl = t.find('\n', line);
        const std::size_t line_end = nl == std::string::npos ? t.size() : nl;
        if (t[line] == '[') return std::nullopt;
        std::size_t p = line;
        while (p < line_end && t[p] == ' ') ++p;
        if (p < line_end && t[p] != ';') {
            std::size_t eq = p;
            while (eq < line_end && t[eq] != '=' && t[eq] != '\r') ++eq;
            std::size_t key_end = eq;
            while (key_end > p && t[key_end - 1] == ' ') --key_end;
            if (eq < line_end && t[eq] == '=' && equal_folded(t.substr(p, key_end - p), key)) {
                std::size_t v = eq + 1;
                while (v < line_end && t[v] == ' ') ++v;
                std::size_t v_end = v;
                while (v_end < line_end && t[v_end] != '\r') ++v_end;
                return t.substr(v, v_end - v);
            }
        }
        if (nl == std::string::npos) break;
        line = nl + 1;
    }
    return std::nullopt;
}

void append_line(std::string& out, const std::string& key, const std::string& value) {
    out += key + " = " + value + "\r\n";
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

Config parse_configuration(const std::string& t) {
    Config c;
    c.comport = find_text_entry(t, "Comport").value_or("Com1:");
    c.win_x = find_number_entry(t, "WinXPos").value_or(0);
    c.win_y = find_number_entry(t, "WinYPos").value_or(0);
    c.quick_mode = find_text_entry(t, "B203Modus").value_or("1200");
    for (int n = 0; n < kPresetCount; ++n) {
        const std::string digit = std::to_string(n);
        c.preset_names[n] = find_text_entry(t, "Presetname" + digit).value_or(digit);
        c.presets[n] = find_text_entry(t, "Preset" + digit).value_or("");
    }
    for (int n = 0; n < kStationCount; ++n)
        c.stations[n] = find_text_entry(t, "Station" + std::to_string(n)).value_or("");
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
