#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "platform/system.h"

namespace zd {

constexpr int kTimerCount = 5;
// A backup holds about 200 bytes; a file beyond this is none and is not
// read on.
constexpr std::size_t kBackupFileLimit = 64 * 1024;

// A backup of the device: the settings string and the five timer records
// ("" for an empty timer), in the configuration files' own form.
struct Backup {
    std::string settings;
    std::string records[kTimerCount];
};
// "; B203 ..." with the moment, "B203Modus = ", "Timer1 = " ... "Timer5 = ",
// CR LF after every line.
std::string format_backup(const Backup& backup, const LocalTime& when);

// The entries a backup file holds; absent ones are left alone on import.
struct BackupEntries {
    std::optional<std::string> settings;
    std::optional<std::string> timers[kTimerCount];
    bool any() const;
};
BackupEntries read_backup_entries(const std::string& file_text);
// The key of the first entry that cannot be sent as it stands ("B203Modus",
// "Timer1" ...), empty when every present entry can.
std::string first_invalid_key(const BackupEntries& entries);
std::string timer_key(int timer_number);

}  // namespace zd
