#pragma once
#include <functional>
#include <string>
#include <vector>

#include "core/backup_file.h"
#include "device/link.h"
#include "platform/clock.h"

namespace zd {

// Reads the status record and the five timers. Stops at the first read that
// fails; `failure` then says which, in the screens' words.
struct BackupRead {
    bool ok = false;
    std::string failure;
    Backup backup;
};
BackupRead read_device_backup(DeviceLink& link);

// What putting one timer back came to.
enum class RestoreOutcome { Written, Erased, Refused, Differs, ReadBackFailed };
struct RestoreStep {
    int timer = 0;
    RestoreOutcome outcome = RestoreOutcome::Differs;
    std::string sent;       // the record, "" for an erase
    std::string read_back;  // the record read back, "" when empty or failed
    bool ok() const { return outcome == RestoreOutcome::Written || outcome == RestoreOutcome::Erased; }
};

// Writes `record` into timer n (erases it for "") and reads it back.
RestoreStep restore_timer(DeviceLink& link, Clock& clock, int timer_number, const std::string& record);

// The command lines (without "\r") a restore of `entries` sends, in order.
std::vector<std::string> restore_commands(const BackupEntries& entries);
// Sends the settings string (when present), then writes or erases every
// present timer and reads it back. Entries must have passed first_invalid_key.
void restore_backup(DeviceLink& link, Clock& clock, const BackupEntries& entries,
                    const std::function<void(const std::string& settings)>& settings_sent,
                    const std::function<void(const RestoreStep&)>& timer_done);

}  // namespace zd
