#include "sim/state_file.h"

#include "sim/calendar.h"

namespace zd::sim {

namespace {

// "timer3" -> 3 within [lo, hi], else 0.
int indexed_key(const std::string& key, const std::string& stem, int lo, int hi) {
    if (key.size() != stem.size() + 1 || key.compare(0, stem.size(), stem) != 0) return 0;
    const int n = key.back() - '0';
    return n >= lo && n <= hi ? n : 0;
}

bool is_device_code(const std::string& code) {
    if (code.size() != 2) return false;
    for (char c : code) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) return false;
    }
    return true;
}

}  // namespace

bool set_preset_key(Preset& p, const std::string& key, const std::string& value, std::string& error) {
    bool ok = false;
    if (key == "date") {
        ok = is_valid_date(value);
        if (ok) p.date = value;
    } else if (key == "time") {
        ok = is_valid_time(value);
        if (ok) p.time = value;
    } else if (key == "settings") {
        ok = is_valid_settings(value);
        if (ok) p.settings = value;
    } else if (key == "ir") {
        ok = value == "0" || value == "1";
        if (ok) p.ir = value;
    } else if (const int t = indexed_key(key, "timer", 1, kTimerCount)) {
        ok = value == "E" || is_valid_timer_record(value);
        if (ok) p.timers[t - 1] = value;
    } else if (const int d = indexed_key(key, "device", 1, kAddressCount - 1)) {
        ok = is_device_code(value);
        if (ok) p.devices[d] = value;
    } else {
        error = "unknown key \"" + key + "\"";
        return false;
    }
    if (!ok) error = "invalid value for " + key + ": \"" + value + "\"";
    return ok;
}

bool parse_state_text(const std::string& text, Preset& preset, std::string& error) {
    std::size_t pos = 0;
    int line_no = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++line_no;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            error = "line " + std::to_string(line_no) + ": missing \"=\"";
            return false;
        }
        std::string why;
        if (!set_preset_key(preset, line.substr(0, eq), line.substr(eq + 1), why)) {
            error = "line " + std::to_string(line_no) + ": " + why;
            return false;
        }
    }
    return true;
}

void merge_preset(Preset& base, const Preset& later) {
    if (later.date) base.date = later.date;
    if (later.time) base.time = later.time;
    if (later.settings) base.settings = later.settings;
    if (later.ir) base.ir = later.ir;
    for (int i = 0; i < kTimerCount; ++i) {
        if (later.timers[i]) base.timers[i] = later.timers[i];
    }
    for (int i = 1; i < kAddressCount; ++i) {
        if (later.devices[i]) base.devices[i] = later.devices[i];
    }
}

void apply_preset(Model& model, const Preset& p) {
    if (p.date) model.set_date(*p.date);
    if (p.time) model.set_time(*p.time);
    if (p.settings) model.set_settings(*p.settings);
    if (p.ir) model.set_ir(*p.ir);
    for (int i = 0; i < kTimerCount; ++i) {
        if (p.timers[i]) model.set_timer(i + 1, *p.timers[i]);
    }
    for (int i = 1; i < kAddressCount; ++i) {
        if (p.devices[i]) model.set_device(i, *p.devices[i]);
    }
}

std::string format_state(const Snapshot& s) {
    std::string out = "date=" + s.date + "\ntime=" + s.time + "\nsettings=" + s.settings + "\nir=" + s.ir + "\n";
    for (int i = 0; i < kTimerCount; ++i) out += "timer" + std::to_string(i + 1) + "=" + s.timers[i] + "\n";
    for (int i = 1; i < kAddressCount; ++i) {
        if (!s.devices[i].empty()) out += "device" + std::to_string(i) + "=" + s.devices[i] + "\n";
    }
    return out;
}

}  // namespace zd::sim
