#include "core/backup_file.h"

#include "core/config.h"
#include "core/ini.h"
#include "core/validation.h"
#include "device/status_record.h"
#include "device/text_util.h"
#include "device/timer_ops.h"

namespace zd {

namespace {

constexpr const char* kSettingsKey = "B203Modus";

}  // namespace

std::string timer_key(int timer_number) { return "Timer" + std::to_string(timer_number); }

std::string format_backup(const Backup& b, const LocalTime& when) {
    std::string out = "; B203 Sicherung vom " + two_digit(when.day) + "." + two_digit(when.month) + "." +
                      std::to_string(when.year) + " " + two_digit(when.hour) + ":" + two_digit(when.minute) +
                      ":" + two_digit(when.second) + "\r\n";
    out += entry_line(kSettingsKey, b.settings);
    for (int n = 1; n <= kTimerCount; ++n) out += entry_line(timer_key(n), b.records[n - 1]);
    return out;
}

bool BackupEntries::any() const {
    if (settings) return true;
    for (const auto& t : timers)
        if (t) return true;
    return false;
}

namespace {

std::string quoted(std::string_view text) { return "\"" + shown_text(std::string(text)) + "\""; }

// 0 for the settings, 1-5 for the timers, -1 for any other key.
int key_index(std::string_view key) {
    if (same_key(key, kSettingsKey)) return 0;
    for (int n = 1; n <= kTimerCount; ++n)
        if (same_key(key, timer_key(n))) return n;
    return -1;
}

}  // namespace

BackupImport read_backup_import(const std::string& text) {
    BackupImport r;
    BackupEntries found;
    std::size_t first_line[1 + kTimerCount] = {};  // where each key was met, 0: not yet
    auto report = [&](const IniLine& l, const std::string& what) {
        if (r.problems.size() < kMaxListedProblems) r.problems.push_back("Zeile " + std::to_string(l.number) + ": " + what);
        ++r.problem_count;
    };
    for_each_ini_line(text, [&](const IniLine& l) {
        if (l.is_comment) return true;
        if (l.is_section) {
            report(l, "Abschnitt " + quoted(blanks_trimmed(l.text)) + " gehört nicht in eine Sicherung");
            return true;
        }
        if (!l.has_entry) {
            if (!blanks_trimmed(l.text).empty()) report(l, quoted(blanks_trimmed(l.text)) + " ist kein Eintrag (Schlüssel = Wert)");
            return true;
        }
        const int index = key_index(l.key);
        if (index < 0) {
            report(l, l.key.empty() ? std::string("Eintrag ohne Schlüssel")
                                    : "unbekannter Schlüssel " + quoted(l.key) + " (bekannt: B203Modus, Timer1 bis Timer5)");
            return true;
        }
        const std::string key = index == 0 ? kSettingsKey : timer_key(index);
        if (first_line[index] != 0) {
            report(l, key + " steht schon in Zeile " + std::to_string(first_line[index]));
            return true;
        }
        first_line[index] = l.number;
        const std::string value(blanks_trimmed(l.value));
        // An empty timer entry erases the timer.
        const std::string problem =
            index == 0 ? settings_problem(value) : value.empty() ? std::string() : record_problem(value);
        if (!problem.empty()) {
            report(l, key + ": " + problem);
            return true;
        }
        (index == 0 ? found.settings : found.timers[index - 1]) = value;
        return true;
    });
    if (r.problem_count == 0) r.entries = found;
    return r;
}

}  // namespace zd
