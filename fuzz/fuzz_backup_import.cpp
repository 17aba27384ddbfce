// Any backup file: the import's validation never lets through an entry that
// cannot be sent as it stands, and what passes survives export and reading.
#include <algorithm>
#include <cstdint>
#include <string>

#include "core/backup_file.h"
#include "core/timer_backup.h"
#include "core/validation.h"
#include "device/status_record.h"
#include "device/timer_ops.h"
#include "device/timer_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const zd::BackupImport read = zd::read_backup_import(text);
    // Problems are counted in full, listed up to the limit, each with its line.
    if (read.problems.size() != std::min(read.problem_count, zd::kMaxListedProblems)) __builtin_trap();
    for (const std::string& problem : read.problems)
        if (problem.rfind("Zeile ", 0) != 0) __builtin_trap();
    const zd::BackupEntries& entries = read.entries;
    if (read.problem_count > 0) {
        if (entries.any()) __builtin_trap();  // nothing is taken from a file with problems
        return 0;
    }

    zd::Backup backup;
    backup.settings = entries.settings.value_or("1200");
    if (!zd::is_valid_settings_string(backup.settings)) __builtin_trap();
    for (int n = 0; n < zd::kTimerCount; ++n) {
        const std::string record = entries.timers[n].value_or("");
        if (!record.empty()) {
            if (!zd::is_composable_record(record) || !zd::is_well_formed_record(record)) __builtin_trap();
            // The editor composes every such record again, seconds "00" and all.
            zd::TimerFields f;
            f.number = "1";
            std::string reply = zd::own_reply("1", record);
            zd::parse_timer_reply(f, reply);
            zd::build_timer_record(f);
            if (f.record != record) __builtin_trap();
        }
        backup.records[n] = record;
    }
    for (const std::string& line : zd::restore_commands(entries))
        if (line.size() > 33 || line.find_first_of("\r\n") != std::string::npos) __builtin_trap();

    const zd::BackupImport reread = zd::read_backup_import(zd::format_backup(backup, zd::LocalTime{}));
    if (reread.problem_count != 0) __builtin_trap();
    const zd::BackupEntries& again = reread.entries;
    if (again.settings != backup.settings) __builtin_trap();
    for (int n = 0; n < zd::kTimerCount; ++n)
        if (again.timers[n].value_or("?") != backup.records[n]) __builtin_trap();
    return 0;
}
