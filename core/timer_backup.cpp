#include "core/timer_backup.h"

#include "core/clock_ops.h"
#include "core/status_text.h"
#include "core/texts.h"
#include "core/validation.h"
#include "device/commands.h"
#include "device/status_record.h"
#include "device/timer_ops.h"

namespace zd {

namespace {

std::string without_cr(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

RestoreStep restore_timer(DeviceLink& link, Clock& clock, int n, const std::string& record) {
    RestoreStep step;
    step.timer = n;
    step.sent = record;
    const std::string digit = std::to_string(n);
    if (record.empty()) {
        erase_timer_record(link, clock, digit);
    } else {
        discard_input(link);
        if (is_refusal(write_timer_record(link, digit, record))) {
            step.outcome = RestoreOutcome::Refused;
            return step;
        }
    }
    TimerFields fields;
    const TimerReading back = read_timer_state(link, fields, n);
    step.read_back = back.record;
    if (back.state == TimerState::Failed)
        step.outcome = RestoreOutcome::ReadBackFailed;
    else if (record.empty())
        step.outcome = back.state == TimerState::Empty ? RestoreOutcome::Erased : RestoreOutcome::Differs;
    else
        step.outcome = back.record == record ? RestoreOutcome::Written : RestoreOutcome::Differs;
    return step;
}


BackupRead read_device_backup(DeviceLink& link) {
    BackupRead r;
    const std::string reply = query_status(link, nullptr);
    if (!is_status_record(reply)) {
        r.failure = status_failure_text(reply);
        return r;
    }
    r.backup.settings = status_settings(reply);
    for (int n = 1; n <= kTimerCount; ++n) {
        TimerFields fields;
        const TimerReading t = read_timer_state(link, fields, n);
        if (t.state == TimerState::Failed) {
            r.failure = memory_read_failed(n);
            return r;
        }
        // A backup that could not be put back is no backup.
        if (t.state == TimerState::Set && !is_composable_record(t.record)) {
            r.failure = "Timer " + std::to_string(n) + ": unbrauchbarer Datensatz vom Gerät (" + t.record + ")";
            return r;
        }
        r.backup.records[n - 1] = t.record;
    }
    r.ok = true;
    return r;
}

std::vector<std::string> restore_commands(const BackupEntries& e) {
    std::vector<std::string> lines;
    if (e.settings) lines.push_back(without_cr(cmd::set_settings(*e.settings)));
    for (int n = 1; n <= kTimerCount; ++n) {
        const auto& t = e.timers[n - 1];
        if (!t) continue;
        const std::string digit = std::to_string(n);
        lines.push_back(without_cr(t->empty() ? cmd::erase_timer(digit) : cmd::write_timer(digit, *t)));
    }
    return lines;
}

void restore_backup(DeviceLink& link, Clock& clock, const BackupEntries& e,
                    const std::function<void(const std::string&)>& settings_sent,
                    const std::function<void(const RestoreStep&)>& timer_done) {
    if (e.settings) {
        write_command(link, cmd::set_settings(*e.settings));
        // Its acknowledgement must not pass for the first timer's answer.
        discard_until_quiet(link);
        if (settings_sent) settings_sent(*e.settings);
    }
    for (int n = 1; n <= kTimerCount; ++n) {
        if (!e.timers[n - 1]) continue;
        const RestoreStep step = restore_timer(link, clock, n, *e.timers[n - 1]);
        if (timer_done) timer_done(step);
    }
}

}  // namespace zd
