#include "core/backup_file.h"

#include "core/config.h"
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

BackupEntries read_backup_entries(const std::string& text) {
    BackupEntries e;
    e.settings = find_text_entry(text, kSettingsKey);
    for (int n = 1; n <= kTimerCount; ++n) e.timers[n - 1] = find_text_entry(text, timer_key(n));
    return e;
}

std::string first_invalid_key(const BackupEntries& e) {
    if (e.settings && !is_valid_settings_string(*e.settings)) return kSettingsKey;
    for (int n = 1; n <= kTimerCount; ++n) {
        const auto& t = e.timers[n - 1];
        if (t && !t->empty() && !is_composable_record(*t)) return timer_key(n);
    }
    return "";
}

}  // namespace zd
