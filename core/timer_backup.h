#pragma once
#include <functional>
#include <string>
#include <vector>

#include "core/backup_file.h"
#include "core/confirmed_ops.h"
#include "device/link.h"
#include "device/timer_ops.h"
#include "platform/clock.h"

namespace zd {

// Reads the status record and the five timers. Stops at the first read that
// fails, or when `should_stop` says so between two reads; `failure` then
// says which, in the screens' words, or "Abgebrochen".
struct BackupRead {
    bool ok = false;
    std::string failure;
    Backup backup;
};
BackupRead read_device_backup(DeviceLink& link, const std::function<bool()>& should_stop = {});

// Why timer N's reading cannot go into a backup, or "" when it can.
std::string backup_timer_problem(int timer_number, const TimerReading& reading);

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

// "Timer 3: geschrieben", "Timer 3: weicht nach dem Zurücklesen ab (gelesen: ...)".
std::string restore_step_text(const RestoreStep& step);

// The command lines (without "\r") a restore of `entries` sends, in order.
std::vector<std::string> restore_commands(const BackupEntries& entries);

// What a restore came to. Parts are numbered 0 for the settings and 1-5 for
// the timers.
struct RestoreSummary {
    std::vector<int> done;      // exchanges completed (each reported), in order
    std::vector<int> not_sent;  // present in the entries but never sent
    int failed = 0;             // done, but not confirmed
    bool stopped = false;       // should_stop said so before everything was sent
    bool silent = false;        // the settings brought no answer, so no timer was sent
    bool ok() const { return failed == 0 && not_sent.empty(); }
};
std::string restore_part_name(int part);  // "Einstellung", "Timer 1" ...

// Sends the settings (when present) and confirms them by a status read-back,
// then writes or erases every present timer and reads it back. Between two
// of these exchanges `should_stop` may end the restore; an exchange begun is
// always finished. A device that does not answer the settings' read-back at
// all gets no timers. Entries must come from a file read without problems.
RestoreSummary restore_backup(DeviceLink& link, Clock& clock, const BackupEntries& entries,
                              const std::function<void(const Confirmed& settings)>& settings_done,
                              const std::function<void(const RestoreStep&)>& timer_done,
                              const std::function<bool()>& should_stop = {});

}  // namespace zd
