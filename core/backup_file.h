#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

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

// A backup file read for import. Every line is understood or reported:
// comments (";") and empty lines; "B203Modus = " with valid settings;
// "Timer1 = " ... "Timer5 = " with a composable record, or nothing to erase
// the timer. Blanks and tabs around keys and values do not count. Anything
// else (unknown keys, a key twice, invalid values, lines without "=",
// sections) is a problem: "Zeile 4: Timer2: Sekunden der Startzeit müssen
// 00 sein". Entries are taken only from a file without problems.
constexpr std::size_t kMaxListedProblems = 20;
struct BackupImport {
    BackupEntries entries;
    std::vector<std::string> problems;  // the first kMaxListedProblems
    std::size_t problem_count = 0;      // all of them
};
BackupImport read_backup_import(const std::string& file_text);
std::string timer_key(int timer_number);

}  // namespace zd
