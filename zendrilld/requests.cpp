#include "zendrilld/requests.h"

#include "core/utf8.h"
#include "core/validation.h"

namespace zd::daemon {

namespace {

struct SettingTopic {
    const char* topic;
    const char* name;
};
const SettingTopic kSettingTopics[4] = {
    {"set/language", "Sprache"},
    {"set/easy_function", "Easy-Funktion"},
    {"set/timer_function", "Timer"},
    {"set/power_on", "Einschaltbedingung"},
};

const std::vector<std::string>& list_of(const ValueNames& n, int position) {
    switch (position) {
        case 0: return n.languages;
        case 1: return n.easy_functions;
        case 2: return n.on_off;
        default: return n.power_on;
    }
}

Parsed refuse(const std::string& command, const std::string& message) {
    Parsed p;
    p.request.command = command;
    p.message = message;
    return p;
}

Parsed accept(Request r) {
    Parsed p;
    p.ok = true;
    p.request = std::move(r);
    return p;
}

// "1".."5" at the end of `topic` after `prefix`, 0 otherwise.
int timer_number(const std::string& topic, const std::string& prefix) {
    if (topic.size() != prefix.size() + 1 || topic.compare(0, prefix.size(), prefix) != 0) return 0;
    const char d = topic.back();
    return d >= '1' && d <= '5' ? d - '0' : 0;
}

bool has_prefix(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// A payload shown in a message: Windows-1252, shortened, control characters as "?".
std::string shown(const std::string& utf8) {
    std::string t;
    if (!utf8_to_1252(utf8, t)) t = "(kein gültiges UTF-8)";
    if (t.size() > 40) t = t.substr(0, 40) + "...";
    for (char& c : t)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return t;
}

}  // namespace

std::string too_long_text(std::size_t bytes) {
    return "Nachricht zu lang (" + std::to_string(bytes) + " Bytes, höchstens 1024)";
}

const char* setting_name(int position) { return kSettingTopics[position & 3].name; }

Parsed parse_request(const std::string& topic, const std::string& payload, bool raw_commands, const ValueNames& names) {
    const std::string command = topic.size() > 64 ? topic.substr(0, 64) : topic;
    if (payload.size() > kMaxPayloadBytes)
        return refuse(command, too_long_text(payload.size()));
    Request r;
    r.command = command;
    for (int pos = 0; pos < 4; ++pos) {
        if (topic != kSettingTopics[pos].topic) continue;
        std::string text;
        if (utf8_to_1252(payload, text)) {
            const auto& list = list_of(names, pos);
            for (std::size_t i = 0; i < list.size(); ++i) {
                if (list[i] != text) continue;
                r.kind = Request::Kind::Setting;
                r.setting_position = pos;
                r.setting_code = static_cast<char>('0' + i);
                return accept(r);
            }
        }
        std::string allowed;
        for (const std::string& name : list_of(names, pos)) allowed += (allowed.empty() ? "" : ", ") + name;
        return refuse(command, std::string(kSettingTopics[pos].name) + ": \"" + shown(payload) +
                                   "\" gibt es nicht; erlaubt: " + allowed);
    }
    if (topic == "set/ir") {
        if (payload != "ON" && payload != "OFF")
            return refuse(command, "IR-Empfänger: \"" + shown(payload) + "\" gibt es nicht; erlaubt: ON, OFF");
        r.kind = Request::Kind::Ir;
        r.on = payload == "ON";
        return accept(r);
    }
    if (has_prefix(topic, "set/timer/")) {
        const int n = timer_number(topic, "set/timer/");
        if (n == 0) return refuse(command, "Timer gibt es nur mit den Nummern 1 bis 5");
        r.timer = n;
        if (payload.empty()) {
            r.kind = Request::Kind::EraseTimer;
            return accept(r);
        }
        const std::string problem = record_problem(payload);
        if (!problem.empty()) return refuse(command, "Timer " + std::to_string(n) + ": " + problem);
        r.kind = Request::Kind::WriteTimer;
        r.record = payload;
        return accept(r);
    }
    if (has_prefix(topic, "cmd/test/")) {
        const int n = timer_number(topic, "cmd/test/");
        if (n == 0) return refuse(command, "Timer gibt es nur mit den Nummern 1 bis 5");
        if (payload != "PRESS") return refuse(command, "erwartet wird PRESS");
        r.kind = Request::Kind::TestTimer;
        r.timer = n;
        return accept(r);
    }
    if (topic == "cmd/clock_sync" || topic == "cmd/refresh") {
        if (payload != "PRESS") return refuse(command, "erwartet wird PRESS");
        r.kind = topic == "cmd/refresh" ? Request::Kind::Refresh : Request::Kind::ClockSync;
        return accept(r);
    }
    if (topic == "cmd/clock_shift") {
        if (payload != "+1" && payload != "-1") return refuse(command, "erwartet wird +1 oder -1");
        r.kind = Request::Kind::ClockShift;
        r.forward = payload == "+1";
        return accept(r);
    }
    if (topic == "cmd/send") {
        if (!raw_commands) return refuse(command, "Freie Befehle sind abgeschaltet (raw_commands = off)");
        std::string line;
        if (!utf8_to_1252(payload, line))
            return refuse(command, "Die Zeile enthält Zeichen, die es in Windows-1252 nicht gibt");
        const std::string problem = free_command_problem(line);
        if (!problem.empty()) return refuse(command, problem);
        r.kind = Request::Kind::RawSend;
        r.line = line;
        return accept(r);
    }
    return refuse(command, "Unbekannter Befehl \"" + shown(topic) + "\"");
}

}  // namespace zd::daemon
