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


BackupRead read_device_backup(DeviceLink& link, const std::function<bool()>& should_stop) {
    BackupRead r;
    const std::string reply = query_status(link, nullptr);
    r.failure = status_record_problem(reply);
    if (!r.failure.empty()) return r;
    r.backup.settings = status_settings(reply);
    for (int n = 1; n <= kTimerCount; ++n) {
        if (should_stop && should_stop()) {
            r.failure = "Abgebrochen";
            return r;
        }
        TimerFields fields;
        const TimerReading t = read_timer_state(link, fields, n);
        r.failure = backup_timer_problem(n, t);
        if (!r.failure.empty()) return r;
        r.backup.records[n - 1] = t.record;
    }
    r.ok = true;
    return r;
}

std::string backup_timer_problem(int timer_number, const TimerReading& reading) {
    if (reading.state == TimerState::Failed) return memory_read_failed(timer_number);
    // A backup that could not be put back is no backup.
    if (reading.state == TimerState::Set && !is_composable_record(reading.record))
        return "Timer " + std::to_string(timer_number) + ": unbrauchbarer Datensatz vom Gerät (" + reading.record + ")";
    return "";
}

std::string restore_step_text(const RestoreStep& step) {
    const std::string head = "Timer " + std::to_string(step.timer) + ": ";
    switch (step.outcome) {
        case RestoreOutcome::Written: return head + "geschrieben";
        case RestoreOutcome::Erased: return head + "gelöscht";
        case RestoreOutcome::Refused: return head + refused_text(" ");
        case RestoreOutcome::ReadBackFailed: return head + memory_read_failed(step.timer);
        case RestoreOutcome::Differs: break;
    }
    return head + "weicht nach dem Zurücklesen ab (gelesen: " + (step.read_back.empty() ? "leer" : step.read_back) +
           ")";
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

std::string restore_part_name(int part) { return part == 0 ? "Einstellung" : "Timer " + std::to_string(part); }

RestoreSummary restore_backup(DeviceLink& link, Clock& clock, const BackupEntries& e,
                              const std::function<void(const Confirmed&)>& settings_done,
                              const std::function<void(const RestoreStep&)>& timer_done,
                              const std::function<bool()>& should_stop) {
    RestoreSummary r;
    std::vector<int> parts;
    if (e.settings) parts.push_back(0);
    for (int n = 1; n <= kTimerCount; ++n)
        if (e.timers[n - 1]) parts.push_back(n);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (r.silent || (should_stop && should_stop())) {
            r.stopped = !r.silent;
            r.not_sent.assign(parts.begin() + static_cast<std::ptrdiff_t>(i), parts.end());
            break;
        }
        const int part = parts[i];
        bool ok = false;
        if (part == 0) {
            const Confirmed c = send_settings_confirmed(link, clock, *e.settings);
            ok = c.ok;
            r.silent = c.reply.empty();
            if (settings_done) settings_done(c);
        } else {
            const RestoreStep step = restore_timer(link, clock, part, *e.timers[part - 1]);
            ok = step.ok();
            if (timer_done) timer_done(step);
        }
        r.done.push_back(part);
        r.failed += ok ? 0 : 1;
    }
    return r;
}

}  // namespace zd
