#include "zendrilld/requests.h"

#include <algorithm>

#include "core/timer_text.h"
#include "core/utf8.h"
#include "core/validation.h"

namespace zd::daemon {

namespace {

Parsed refuse(const std::string& command, const std::string& message) {
    Parsed p;
    p.request.command = command;
    p.message = message;
    return p;
}

// "1".."5" at the end of `topic` after `prefix`, 0 otherwise.
int timer_after(const std::string& topic, const std::string& prefix) {
    if (topic.size() != prefix.size() + 1 || topic.compare(0, prefix.size(), prefix) != 0) return 0;
    const char d = topic.back();
    return d >= '1' && d <= '5' ? d - '0' : 0;
}

Request made(const std::string& command, Request::Kind kind) {
    Request r;
    r.command = command;
    r.kind = kind;
    return r;
}

bool has_prefix(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

Parsed accepted(Request r) {
    Parsed p;
    p.ok = true;
    p.request = std::move(r);
    return p;
}

}  // namespace

std::string command_of(const std::string& subtopic) { return subtopic.substr(0, 64); }

std::string shown_value(const std::string& utf8) {
    std::string t;
    if (!utf8_to_1252(utf8, t)) return "(kein gültiges UTF-8)";
    return shown_text(t, 40);
}

const char* const kNoSuchTimer = "Timer gibt es nur mit den Nummern 1 bis 5";

int timer_number(const std::string& s) { return s.size() == 1 && s[0] >= '1' && s[0] <= '5' ? s[0] - '0' : 0; }

Parsed refresh_request(const std::string& command) { return accepted(made(command, Request::Kind::Refresh)); }

Parsed clock_sync_request(const std::string& command) { return accepted(made(command, Request::Kind::ClockSync)); }

Parsed clock_shift_request(const std::string& command, bool forward) {
    Request r = made(command, Request::Kind::ClockShift);
    r.forward = forward;
    return accepted(r);
}

Parsed ir_request(const std::string& command, bool on) {
    Request r = made(command, Request::Kind::Ir);
    r.on = on;
    return accepted(r);
}

Parsed settings_request(const std::string& command, const std::map<const SettingField*, std::string>& values,
                        const ValueNames& names) {
    if (values.empty()) return refuse(command, "Keine Einstellung angegeben");
    Request r = made(command, Request::Kind::Setting);
    for (const auto& [field, name] : values) {
        const auto& list = field->values(names);
        std::string text;
        bool found = false;
        if (utf8_to_1252(name, text)) {
            for (std::size_t i = 0; i < list.size() && !found; ++i) {
                if (list[i] != text) continue;
                r.settings[static_cast<std::size_t>(field->position)] = static_cast<char>('0' + i);
                found = true;
            }
        }
        if (found) continue;
        std::string allowed;
        for (const std::string& n : list) allowed += (allowed.empty() ? "" : ", ") + n;
        return refuse(command,
                      std::string(field->label) + ": \"" + shown_value(name) + "\" gibt es nicht; erlaubt: " + allowed);
    }
    return accepted(r);
}

Parsed timer_erase_request(const std::string& command, int n) {
    if (n < 1 || n > 5) return refuse(command, kNoSuchTimer);
    Request r = made(command, Request::Kind::EraseTimer);
    r.timer = n;
    return accepted(r);
}

Parsed timer_test_request(const std::string& command, int n) {
    if (n < 1 || n > 5) return refuse(command, kNoSuchTimer);
    Request r = made(command, Request::Kind::TestTimer);
    r.timer = n;
    return accepted(r);
}

Parsed restore_request(const std::string& command, const BackupEntries& entries) {
    if (!entries.any())
        return refuse(command, "Die Datei enthält weder B203Modus noch Timer1 bis Timer5; nichts gesendet");
    Request r = made(command, Request::Kind::Restore);
    r.entries = entries;
    return accepted(r);
}

std::string not_queued_text(NotQueued why, const std::string& port) {
    switch (why) {
        case NotQueued::Full:
            return "Zu viele wartende Befehle (" + std::to_string(kMaxWaitingRequests) + "); nichts gesendet";
        case NotQueued::Stopping: return "zendrilld wird beendet; nichts gesendet";
        case NotQueued::Lent: return "Die Leitung ist an zendrill-cli verliehen; nichts gesendet";
        case NotQueued::Offline: return "Keine Verbindung zum Gerät; nichts gesendet";
        case NotQueued::PortClosed: break;
    }
    return "Der Port " + port + " ist nicht geöffnet";
}

std::vector<std::string> restore_texts(const BackupEntries& e, const std::string (&stations)[kStationCount],
                                       const ValueNames& names) {
    std::vector<std::string> texts;
    if (e.settings) {
        std::string t = "Einstellungen senden: ";
        for (const SettingField& f : kSettingFields) {
            const auto& values = f.values(names);
            const auto code = static_cast<std::size_t>((*e.settings)[static_cast<std::size_t>(f.position)] - '0');
            t += std::string(f.position ? ", " : "") + f.label + " " + (code < values.size() ? values[code] : "?");
        }
        texts.push_back(t);
    }
    for (int n = 1; n <= kTimerCount; ++n) {
        const auto& record = e.timers[n - 1];
        if (!record) continue;
        const std::string head = "Timer " + std::to_string(n);
        texts.push_back(record->empty() ? head + " löschen"
                                        : head + " schreiben: " + timer_summary(listed_timer(n, *record), stations));
    }
    return texts;
}

namespace {
const char* const kDoorNames[] = {"zendrilld", "Home Assistant", "Web", "zendrill-cli", "Gerät"};
}  // namespace

const char* door_name(Door d) { return kDoorNames[static_cast<int>(d)]; }

std::optional<Door> door_by_name(const std::string& name) {
    for (int i = 0; i < 5; ++i)
        if (name == kDoorNames[i]) return static_cast<Door>(i);
    return std::nullopt;
}

const char* const kSettingsChangedElsewhere = "Die Einstellungen wurden anderswo geändert; nichts gesendet";

Parsed settings_undo_request(const std::string& command, const std::string& settings, const std::string& expect) {
    if (!is_valid_settings_string(settings) || !is_valid_settings_string(expect))
        return refuse(command, "Ungültige Einstellungen (" + shown_text(settings, 8) + "); nichts gesendet");
    Request r = made(command, Request::Kind::Setting);
    for (std::size_t i = 0; i < 4; ++i) r.settings[i] = settings[i];
    r.expect_settings = expect;
    return accepted(std::move(r));
}

std::string changed_elsewhere_text(int n) {
    return "Timer " + std::to_string(n) + " wurde anderswo geändert; nichts gesendet";
}

std::string outcome_unknown_text(int n) {
    return "keine Antwort vom B203; ob der Timer geschrieben wurde, ist unklar. Timer " + std::to_string(n) +
           " wird neu gelesen, sobald das Gerät wieder antwortet";
}

Parsed timer_write_request(const std::string& command, int n, const std::string& record,
                           const std::optional<std::string>& expect) {
    if (n < 1 || n > 5) return refuse(command, kNoSuchTimer);
    if (expect && (expect->size() > 32 || std::any_of(expect->begin(), expect->end(), [](char c) {
                       return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F;
                   })))
        return refuse(command, "expect: \"" + shown_value(*expect) + "\" ist kein Datensatz");
    const std::string problem = record_problem(record);
    if (!problem.empty()) return refuse(command, "Timer " + std::to_string(n) + ": " + problem);
    Request r = made(command, Request::Kind::WriteTimer);
    r.timer = n;
    r.expect = expect;
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
    Request r = made(command, Request::Kind::RawSend);
    r.line = line;
    return accepted(r);
}

std::string too_long_text(std::size_t bytes) {
    return "Nachricht zu lang (" + std::to_string(bytes) + " Bytes, höchstens " + std::to_string(kMaxPayloadBytes) +
           ")";
}

Parsed parse_request(const std::string& topic, const std::string& payload, bool raw_commands, const ValueNames& names) {
    const std::string command = command_of(topic);
    if (payload.size() > kMaxPayloadBytes) return refuse(command, too_long_text(payload.size()));
    if (has_prefix(topic, "set/")) {
        if (const SettingField* f = setting_by_topic(topic.substr(4)))
            return settings_request(command, {{f, payload}}, names);
    }
    if (topic == "set/ir") {
        if (payload != "ON" && payload != "OFF")
            return refuse(command, "IR-Empfänger: \"" + shown_value(payload) + "\" gibt es nicht; erlaubt: ON, OFF");
        return ir_request(command, payload == "ON");
    }
    if (has_prefix(topic, "set/timer/")) {
        const int n = timer_after(topic, "set/timer/");
        if (n == 0) return refuse(command, kNoSuchTimer);
        // Clearing a retained message delivers an empty payload to us: it
        // must never erase a timer. Erasing is its own command.
        if (payload.empty())
            return refuse(command, "Timer " + std::to_string(n) + ": leerer Datensatz, nichts gesendet; gelöscht wird mit der Schaltfläche \"Timer " +
                                       std::to_string(n) + " löschen\" (cmd/erase/" + std::to_string(n) + ")");
        return timer_write_request(command, n, payload);
    }
    for (const char* prefix : {"cmd/test/", "cmd/erase/"}) {
        if (!has_prefix(topic, prefix)) continue;
        const int n = timer_after(topic, prefix);
        if (n == 0) return refuse(command, kNoSuchTimer);
        if (payload != "PRESS") return refuse(command, "erwartet wird PRESS");
        return prefix[4] == 't' ? timer_test_request(command, n) : timer_erase_request(command, n);
    }
    if (topic == "cmd/clock_sync" || topic == "cmd/refresh") {
        if (payload != "PRESS") return refuse(command, "erwartet wird PRESS");
        return topic == "cmd/refresh" ? refresh_request(command) : clock_sync_request(command);
    }
    if (topic == "cmd/clock_shift") {
        if (payload != "+1" && payload != "-1") return refuse(command, "erwartet wird +1 oder -1");
        return clock_shift_request(command, payload == "+1");
    }
    if (topic == "cmd/send") return raw_line_request(command, payload, raw_commands);
    return refuse(command, "Unbekannter Befehl \"" + shown_value(topic) + "\"");
}

}  // namespace zd::daemon
