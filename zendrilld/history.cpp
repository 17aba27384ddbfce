#include "zendrilld/history.h"

#include "core/setting_fields.h"
#include "core/timer_text.h"
#include "core/utf8.h"
#include "core/validation.h"

namespace zd::daemon {

namespace {

const char* const kArrow = u8" → ";
const char* const kDash = u8"–";

std::string u(const std::string& text_1252) { return utf8_from_1252(text_1252); }

std::string hhmm(const std::string& t) { return t.size() == 4 ? t.substr(0, 2) + ":" + t.substr(2) : t; }

// Mo first; three days or more in a row as "Mo–Fr".
std::string days_text(const TimerFields& f) {
    static const int order[7] = {1, 2, 3, 4, 5, 6, 0};
    std::string out;
    for (int i = 0; i < 7;) {
        if (f.days[order[i]] != "1") {
            ++i;
            continue;
        }
        int j = i;
        while (j + 1 < 7 && f.days[order[j + 1]] == "1") ++j;
        const auto name = [&](int k) { return std::string(kDayNames[order[k]]); };
        if (!out.empty()) out += " ";
        if (j - i >= 2) out += name(i) + kDash + name(j);
        else for (int k = i; k <= j; ++k) out += (k > i ? " " : "") + name(k);
        i = j + 1;
    }
    return out;
}

std::string source_text(const TimerFields& f) {
    std::string s = source_name(f.source);
    if (f.source == "0" || f.source == "1") s += (f.source == "1" ? " Track " : " ") + f.station;
    const std::vector<std::string> targets = target_names(f.targets);
    std::string t;
    for (const std::string& n : targets) t += (t.empty() ? "" : ", ") + n;
    return u(s) + ", " + (t.empty() ? std::string("kein Ziel") : u(t));
}

std::string signed_s(const std::string& v) {
    return (!v.empty() && v[0] != '-' && v != "0" ? "+" : "") + v + " s";
}

std::string door_suffix(const JournalEntry& e) {
    std::string d = e.door == Door::Device ? u8"am Gerät oder während einer Leihe geändert" : u(door_name(e.door));
    if (e.undo_of > 0) d += u8", rückgängig gemacht: Eintrag " + std::to_string(e.undo_of);
    return " (" + d + ")";
}

std::string setting_value(const SettingField& f, char code, const ValueNames& names) {
    const auto& values = f.values(names);
    const int i = code - '0';
    return i >= 0 && static_cast<std::size_t>(i) < values.size() ? u(values[static_cast<std::size_t>(i)])
                                                                 : std::string(1, code);
}

}  // namespace

std::string timer_brief(const std::string& record, bool with_source) {
    if (record.empty()) return "leer";
    const ListedTimer t = listed_timer(1, record);
    if (t.reading.state != TimerState::Set) return u(shown_text(record, 40));
    const TimerFields& f = t.fields;
    std::string when = f.kind == "D" && f.date.size() == 6
                           ? f.date.substr(0, 2) + "." + f.date.substr(2, 2) + ".20" + f.date.substr(4, 2)
                           : days_text(f);
    std::string out = when + " " + hhmm(f.start) + kDash + hhmm(f.end);
    if (with_source) out += ", " + source_text(f);
    return out;
}

bool can_undo(const JournalEntry& e) {
    return e.ok && e.before && e.after && (e.kind == kind::kTimer || e.kind == kind::kSettings) &&
           *e.before != *e.after;
}

bool still_holds(const JournalEntry& e, const Picture& p) {
    if (!e.after) return false;
    if (e.kind == kind::kTimer && e.timer >= 1 && e.timer <= 5) {
        const auto& t = p.timers[static_cast<std::size_t>(e.timer - 1)];
        if (!t || t->reading.state == TimerState::Failed) return true;
        return (t->reading.state == TimerState::Set ? t->reading.record : "") == *e.after;
    }
    if (e.kind == kind::kSettings) return !p.status || status_settings(p.status->record) == *e.after;
    return false;
}

std::string history_sentence(const JournalEntry& e, const ValueNames& names) {
    const std::string before = e.before.value_or(""), after = e.after.value_or("");
    if (e.kind == kind::kTimer) {
        // What tells them apart: days and times, else source and targets too.
        const bool same_brief = timer_brief(before) == timer_brief(after);
        const bool both = !before.empty() && !after.empty();
        return "Timer " + std::to_string(e.timer) + ": " + timer_brief(before, both && same_brief) + kArrow +
               timer_brief(after, both && same_brief) + door_suffix(e);
    }
    if (e.kind == kind::kSettings) {
        std::string changes;
        for (const SettingField& f : kSettingFields) {
            const auto p = static_cast<std::size_t>(f.position);
            if (p >= before.size() || p >= after.size() || before[p] == after[p]) continue;
            changes += (changes.empty() ? "" : ", ") + u(f.label) + " " + setting_value(f, before[p], names) + kArrow +
                       setting_value(f, after[p], names);
        }
        return "Einstellungen: " + (changes.empty() ? before + kArrow + after : changes) + door_suffix(e);
    }
    if (e.kind == kind::kIr)
        return std::string(u8"IR-Empfänger ") + (after == "0" ? "eingeschaltet" : "ausgeschaltet") + door_suffix(e);
    if (e.kind == kind::kClock) {
        std::string s;
        if (e.detail == "+1h" || e.detail == "-1h") {
            s = std::string("Uhr eine Stunde ") + (e.detail == "+1h" ? "vorgestellt" : u8"zurückgestellt");
        } else {
            s = e.ok ? "Uhr gestellt" : "Uhr stellen misslungen";
            if (e.before) s += ": Abweichung vorher " + signed_s(before);
            if (e.after) s += (e.before ? ", danach " : ": danach ") + signed_s(after);
            if (!e.ok && !e.detail.empty()) s += " (" + u(e.detail) + ")";
        }
        return s + " (" + u(door_name(e.door)) + ")";
    }
    if (e.kind == kind::kRaw) {
        return u8"Befehlszeile „" + u(shown_text(before, 60)) + u8"“ gesendet; " +
               (after.empty() ? std::string(u8"keine Rückmeldung") : u8"Rückmeldung „" + u(shown_text(after, 60)) + u8"“") +
               " (" + u(door_name(e.door)) + ")";
    }
    if (e.kind == kind::kCommand) return u8"Nicht ausgeführt: " + u(e.detail) + " (" + u(door_name(e.door)) + ")";
    return u(e.detail);
}

}  // namespace zd::daemon
