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

// "1".."5" at the end of `topic` after `prefix`, 0 otherwise.
int timer_number(const std::string& topic, const std::string& prefix) {
    if (topic.size() != prefix.size() + 1 || topic.compare(0, prefix.size(), prefix) != 0) return 0;
    const char d = topic.back();
    return d >= '1' && d <= '5' ? d - '0' : 0;
}

bool has_prefix(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

Parsed accepted(Request r) {
    Parsed p;
    p.ok = true;
    p.request = std::move(r);
    return p;
}

std::string command_of(const std::string& subtopic) { return subtopic.substr(0, 64); }

std::string shown_value(const std::string& utf8) {
    std::string t;
    if (!utf8_to_1252(utf8, t)) return "(kein gültiges UTF-8)";
    return shown_text(t, 40);
}

bool setting_code(int position, const std::string& name, const ValueNames& names, char& code, std::string& problem) {
    const auto& list = list_of(names, position);
    std::string text;
    if (utf8_to_1252(name, text)) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i] != text) continue;
            code = static_cast<char>('0' + i);
            return true;
        }
    }
    std::string allowed;
    for (const std::string& n : list) allowed += (allowed.empty() ? "" : ", ") + n;
    problem = std::string(kSettingTopics[position].name) + ": \"" + shown_value(name) + "\" gibt es nicht; erlaubt: " + allowed;
    return false;
}

Parsed timer_write_request(const std::string& command, int n, const std::string& record) {
    const std::string problem = record_problem(record);
    if (!problem.empty()) return refuse(command, "Timer " + std::to_string(n) + ": " + problem);
    Request r;
    r.command = command;
    r.kind = Request::Kind::WriteTimer;
    r.timer = n;
    r.record = record;
    return accepted(r);
}

Parsed raw_line_request(const std::string& command, const std::string& line_utf8, bool raw_commands) {
    if (!raw_commands) return refuse(command, "Freie Befehle sind abgeschaltet (raw_commands = off)");
    std::string line;
    if (!utf8_to_1252(line_utf8, line))
        return refuse(command, "Die Zeile enthält Zeichen, die es in Windows-1252 nicht gibt");
    const std::string problem = free_command_problem(line);
    if (!problem.empty()) return refuse(command, problem);
    Request r;
    r.command = command;
    r.kind = Request::Kind::RawSend;
    r.line = line;
    return accepted(r);
}

std::string too_long_text(std::size_t bytes) {
    return "Nachricht zu lang (" + std::to_string(bytes) + " Bytes, höchstens " + std::to_string(kMaxPayloadBytes) +
           ")";
}

Parsed parse_request(const std::string& topic, const std::string& payload, bool raw_commands, const ValueNames& names) {
    const std::string command = command_of(topic);
    if (payload.size() > kMaxPayloadBytes)
        return refuse(command, too_long_text(payload.size()));
    Request r;
    r.command = command;
    for (int pos = 0; pos < 4; ++pos) {
        if (topic != kSettingTopics[pos].topic) continue;
        std::string problem;
        if (!setting_code(pos, payload, names, r.settings[static_cast<std::size_t>(pos)], problem))
            return refuse(command, problem);
        r.kind = Request::Kind::Setting;
        return accepted(r);
    }
    if (topic == "set/ir") {
        if (payload != "ON" && payload != "OFF")
            return refuse(command, "IR-Empfänger: \"" + shown_value(payload) + "\" gibt es nicht; erlaubt: ON, OFF");
        r.kind = Request::Kind::Ir;
        r.on = payload == "ON";
        return accepted(r);
    }
    if (has_prefix(topic, "set/timer/")) {
        const int n = timer_number(topic, "set/timer/");
        if (n == 0) return refuse(command, "Timer gibt es nur mit den Nummern 1 bis 5");
        r.timer = n;
        // Clearing a retained message delivers an empty payload to us: it
        // must never erase a timer. Erasing is its own command.
        if (payload.empty())
            return refuse(command, "Timer " + std::to_string(n) + ": leerer Datensatz, nichts gesendet; gelöscht wird mit der Schaltfläche \"Timer " +
                                       std::to_string(n) + " löschen\" (cmd/erase/" + std::to_string(n) + ")");
        return timer_write_request(command, n, payload);
    }
    for (const auto& [prefix, kind] : {std::pair<const char*, Request::Kind>{"cmd/test/", Request::Kind::TestTimer},
                                       {"cmd/erase/", Request::Kind::EraseTimer}}) {
        if (!has_prefix(topic, prefix)) continue;
        const int n = timer_number(topic, prefix);
        if (n == 0) return refuse(command, "Timer gibt es nur mit den Nummern 1 bis 5");
        if (payload != "PRESS") return refuse(command, "erwartet wird PRESS");
        r.kind = kind;
        r.timer = n;
        return accepted(r);
    }
    if (topic == "cmd/clock_sync" || topic == "cmd/refresh") {
        if (payload != "PRESS") return refuse(command, "erwartet wird PRESS");
        r.kind = topic == "cmd/refresh" ? Request::Kind::Refresh : Request::Kind::ClockSync;
        return accepted(r);
    }
    if (topic == "cmd/clock_shift") {
        if (payload != "+1" && payload != "-1") return refuse(command, "erwartet wird +1 oder -1");
        r.kind = Request::Kind::ClockShift;
        r.forward = payload == "+1";
        return accepted(r);
    }
    if (topic == "cmd/send") return raw_line_request(command, payload, raw_commands);
    return refuse(command, "Unbekannter Befehl \"" + shown_value(topic) + "\"");
}

}  // namespace zd::daemon
