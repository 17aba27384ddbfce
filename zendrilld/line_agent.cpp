#include "zendrilld/line_agent.h"

#include <algorithm>

#include "core/clock_ops.h"
#include "core/confirmed_ops.h"
#include "core/texts.h"
#include "core/timer_backup.h"
#include "core/timer_text.h"
#include "core/utf8.h"
#include "core/validation.h"
#include "device/clock_math.h"
#include "device/commands.h"
#include "device/status_record.h"
#include "device/text_util.h"
#include "device/timer_ops.h"

namespace zd::daemon {

namespace {

constexpr long long kSyncRetryMs = 3600LL * 1000;

std::string signed_seconds(long long s) { return (s > 0 ? "+" : "") + std::to_string(s) + " s"; }

long long host_seconds(const LocalTime& t) {
    return civil_seconds(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

long long magnitude(long long v) { return v < 0 ? -v : v; }

// A confirmed exchange as an outcome: no answer at all is silence, an
// answer that shows something else was not taken.
Outcome confirmed(const Confirmed& c, const std::string& message) {
    return {c.ok ? Outcome::Kind::Done : c.reply.empty() ? Outcome::Kind::Silent : Outcome::Kind::NotTaken, message};
}

Outcome::Kind outcome_kind(RestoreOutcome o) {
    switch (o) {
        case RestoreOutcome::Written:
        case RestoreOutcome::Erased: return Outcome::Kind::Done;
        case RestoreOutcome::Refused: return Outcome::Kind::Refused;
        case RestoreOutcome::Differs: return Outcome::Kind::NotTaken;
        case RestoreOutcome::ReadBackFailed: break;
    }
    return Outcome::Kind::Silent;
}

// What a request asks for, in words.
std::string request_what(const Request& r) {
    const std::string n = std::to_string(r.timer);
    switch (r.kind) {
        case Request::Kind::Setting: return "Einstellungen senden";
        case Request::Kind::Ir: return r.on ? "IR-Empfänger einschalten" : "IR-Empfänger ausschalten";
        case Request::Kind::WriteTimer: return "Timer " + n + " schreiben";
        case Request::Kind::EraseTimer: return "Timer " + n + " löschen";
        case Request::Kind::TestTimer: return "Timer " + n + " testen";
        case Request::Kind::ClockSync: return "Uhr stellen";
        case Request::Kind::ClockShift: return r.forward ? "Uhr eine Stunde vorstellen" : "Uhr eine Stunde zurückstellen";
        case Request::Kind::Refresh: return "Status und Timer lesen";
        case Request::Kind::RawSend: return "Befehlszeile senden";
        case Request::Kind::Restore: return "Sicherung einspielen";
    }
    return r.command;
}

}  // namespace

void LineAgent::StoppableClock::pause_ms(int ms) {
    for (int left = ms; left > 0 && !stop_; left -= 100) base_.pause_ms(left < 100 ? left : 100);
}

LineAgent::LineAgent(const DaemonConfig& config, System& sys, Clock& clock, DevicePicture& picture, Log& log,
                     Journal* journal)
    : config_(config), sys_(sys), clock_(clock, stopping_), picture_(picture), log_(log), journal_(journal) {
    link_.clock = &clock_;
    link_.wait_on_port = true;
    link_.cancel = &stopping_;
    link_.writes = &writes_;
}

void LineAgent::request_stop() { stopping_ = true; }

void LineAgent::remember(const JournalMemory& m) {
    for (const ClockReading& r : m.readings) rate_.add(r.at, r.drift_s, r.fresh);
    const auto known = [&](const std::string& key) -> std::optional<std::string> {
        const auto it = m.known.find(key);
        return it == m.known.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    for (int n = 1; n <= 5; ++n) known_timers_[static_cast<std::size_t>(n - 1)] = known("timer" + std::to_string(n));
    known_settings_ = known("settings");
    known_ir_ = known("ir");
    picture_.set_clock_rate(rate_.estimate());
}

JournalEntry LineAgent::entry(const char* what, Door door) {
    JournalEntry e = journal_entry(sys_, what, door);
    if (has_drift_) e.drift_s = last_drift_s_;
    return e;
}

void LineAgent::note(JournalEntry e) {
    if (journal_) journal_->add(std::move(e));
}

Door LineAgent::door_of(const char* what, int n) const {
    if (!changing_) return Door::Device;
    const Request& r = *changing_;
    const std::string w = what;
    bool touches = false;
    switch (r.kind) {
        case Request::Kind::RawSend: touches = true; break;
        case Request::Kind::WriteTimer:
        case Request::Kind::EraseTimer: touches = w == kind::kTimer && n == r.timer; break;
        case Request::Kind::Setting: touches = w == kind::kSettings; break;
        case Request::Kind::Ir: touches = w == kind::kIr; break;
        case Request::Kind::Restore:
            touches = (w == kind::kSettings && r.entries.settings) ||
                      (w == kind::kTimer && n >= 1 && n <= 5 && r.entries.timers[n - 1]);
            break;
        default: break;
    }
    return touches ? r.asker : Door::Device;
}

void LineAgent::timer_seen(const ListedTimer& t) {
    picture_.set_timer(t);
    if (t.timer < 1 || t.timer > 5) return;
    const std::string now = t.reading.state == TimerState::Set ? t.reading.record : "";
    auto& known = known_timers_[static_cast<std::size_t>(t.timer - 1)];
    std::optional<Unclear> unclear;
    unclear.swap(unclear_[static_cast<std::size_t>(t.timer - 1)]);
    if (known && *known == now) return;
    if (known) {
        JournalEntry e = entry(kind::kTimer, door_of(kind::kTimer, t.timer));
        if (e.door != Door::Device) e.undo_of = changing_->undo_of;
        if (unclear && unclear->record == now) {
            e.door = unclear->asker;
            e.undo_of = unclear->undo_of;
        }
        e.timer = t.timer;
        e.before = *known;
        e.after = now;
        note(std::move(e));
    }
    known = now;
    if (journal_) journal_->remember("timer" + std::to_string(t.timer), now);
}

void LineAgent::state_seen(const std::string& record, const LocalTime& now) {
    picture_.set_status({record, last_drift_s_, now});
    ClockReading r;
    r.at = unix_seconds(now);
    r.drift_s = last_drift_s_;
    r.fresh = fresh_reading_;
    r.keep = rate_.add(r.at, r.drift_s, r.fresh);
    fresh_reading_ = false;
    if (journal_) journal_->add(r);
    picture_.set_clock_rate(rate_.estimate());
    const auto compare = [&](const char* what, const char* key, std::optional<std::string>& known,
                             const std::string& seen) {
        if (known && *known == seen) return;
        if (known) {
            JournalEntry e = entry(what, door_of(what, 0));
            e.before = *known;
            e.after = seen;
            if (e.door != Door::Device) e.undo_of = changing_->undo_of;
            note(std::move(e));
        }
        known = seen;
        if (journal_) journal_->remember(key, seen);
    };
    compare(kind::kSettings, "settings", known_settings_, status_settings(record));
    compare(kind::kIr, "ir", known_ir_, mid(record, 20, 1));
}

void LineAgent::lent(bool lent) {
    picture_.set_lent(lent);
    JournalEntry e = entry(kind::kLink, Door::Cli);
    e.detail = lent ? "Leitung an zendrill-cli verliehen" : "Leitung von zendrill-cli zurück";
    note(std::move(e));
}

void LineAgent::refused_unrun(const Request& r, const std::string& why) {
    if (!journal_) return;
    JournalEntry e = journal_entry(sys_, kind::kCommand, r.asker);
    e.timer = r.timer;
    e.ok = false;
    e.detail = request_what(r) + ": " + why;
    journal_->add(std::move(e));
}

void LineAgent::attach(SerialPort* port) {
    link_.port = port;
    failed_reads_ = 0;
    writes_ = WriteCheck{};
    counted_unsent_ = 0;
    // Whatever an earlier holder of the line left behind is not ours.
    discard_input(link_);
}

void LineAgent::detach() { link_.port = nullptr; }

void LineAgent::log(const std::string& line) {
    log_.line(line);
}

void LineAgent::event(EventType type, JsonObject fields) {
    log(std::string("Ereignis ") + event_name(type));
    picture_.add_event(type, std::move(fields));
}

void LineAgent::result(const Request& r, Outcome o) {
    // What was not sent cannot have worked, whatever was read afterwards.
    if (!command_sent()) {
        o.kind = Outcome::Kind::Silent;
        o.message = kSendFailed;
    }
    log((o.ok() ? "Befehl " : "Befehl fehlgeschlagen: ") + r.command + ": " + o.message);
    // Clock settings and sent lines have entries of their own.
    const bool own_entry = r.kind == Request::Kind::ClockSync || (r.kind == Request::Kind::RawSend && command_sent());
    const bool partly = o.data.is_object() && o.data.contains("ok") && o.data["ok"] == false;
    if ((!o.ok() || partly) && !own_entry) {
        JournalEntry e = entry(kind::kCommand, r.asker);
        e.timer = r.timer;
        e.ok = false;
        e.detail = request_what(r) + ": " + o.message;
        note(std::move(e));
    }
    if (r.reply && r.reply_when == ReplyWhen::Known) r.reply(o);
    outcome_ = std::move(o);
}

void LineAgent::status_failed(const std::string& problem) {
    log("Statusabfrage fehlgeschlagen: " + problem);
    exchanges_failed(1);
}

void LineAgent::exchanges_failed(int count) {
    failed_reads_ += count;
    if (failed_reads_ >= 2) link_down("Verbindung zum Gerät verloren", last_problem_);
}

int LineAgent::unsent_writes() {
    const int count = writes_.failed - counted_unsent_;
    counted_unsent_ = writes_.failed;
    if (count > 0) exchanges_failed(count);
    return count;
}

void LineAgent::lose_link(const std::string& why) {
    log(why);
    failed_reads_ = 2;
    link_down("", why);
}

void LineAgent::link_down(const std::string& lost, const std::string& reason) {
    const bool was_up = link_up();
    if (was_up && !lost.empty()) log(lost);
    if (!was_up && link_announced_) return;
    link_announced_ = true;
    picture_.set_answering(false);
    if (was_up) {
        link_was_lost_ = true;
        event(EventType::LinkLost);
        JournalEntry e = entry(kind::kLink, Door::Daemon);
        e.ok = false;
        e.detail = "Verbindung zum Gerät verloren" + (reason.empty() ? std::string() : ": " + reason);
        note(std::move(e));
    }
}

bool LineAgent::status_read(const std::string& record) {
    // A device that sends XOFF before every reply lets every second write
    // through once the hold is lifted: a reply needs the write before its
    // own to have gone out, too, before the line counts as working again.
    const bool trusted = writes_.failed == 0 || writes_.sent_in_a_row >= 2;
    if (trusted) {
        failed_reads_ = 0;
        if (!link_up()) {
            link_announced_ = true;
            picture_.set_answering(true);
            log("Verbindung zum Gerät steht");
            fresh_reading_ = true;
            if (link_was_lost_) {
                event(EventType::LinkBack);
                JournalEntry e = entry(kind::kLink, Door::Daemon);
                e.detail = "Verbindung zum Gerät wieder da";
                note(std::move(e));
            }
        }
    } else if (!link_up()) {
        log("Status gelesen, aber die Leitung hing kurz davor an einem XOFF des Geräts; die Verbindung gilt noch nicht als wieder da");
    }
    const LocalTime now = sys_.local_time();
    long long device = 0;
    record_civil_seconds(record, device);
    has_drift_ = true;
    last_drift_s_ = device - host_seconds(now);
    state_seen(record, now);
    return trusted;
}

bool LineAgent::read_status() {
    if (!link_.port) return false;
    const int failed_before = writes_.failed;
    const std::string reply = query_status(link_, nullptr);
    if (writes_.failed > failed_before) {
        last_problem_ = kSendFailed;
        log("Statusabfrage fehlgeschlagen: " + last_problem_);
        unsent_writes();
        return false;
    }
    last_problem_ = status_record_problem(reply);
    if (!last_problem_.empty()) {
        status_failed(last_problem_);
        return false;
    }
    if (status_read(reply)) keep_clock(last_drift_s_);
    unsent_writes();
    read_unknown_timers();
    return true;
}

void LineAgent::read_unknown_timers() {
    // Before the first timer poll every timer is unknown: that poll reads them.
    if (!timers_tried_) return;
    const Picture p = picture_.snapshot();
    for (int n = 1; n <= 5 && link_.port && !stopping_ && link_up(); ++n) {
        if (p.timers[static_cast<std::size_t>(n - 1)]) continue;
        const ListedTimer t = read_one_timer(n);
        if (t.reading.state != TimerState::Failed) timer_seen(t);
    }
    unsent_writes();
}

void LineAgent::keep_clock(long long drift_s) {
    if (!config_.clock_sync_auto || magnitude(drift_s) <= config_.clock_tolerance_s) return;
    if (clock_.now_ms() < next_sync_ms_) return;
    sync_clock(nullptr, true, drift_s);
}

void LineAgent::sync_clock(const Request* request, bool has_drift, long long drift_s) {
    const int failed_before = writes_.failed;
    const ClockSync r = sync_device_clock(link_, clock_, sys_);
    const std::string problem = status_record_problem(r.reply);
    const bool in_step = problem.empty() && magnitude(r.deviation_s) <= config_.clock_tolerance_s;
    JsonObject fields;
    fields["drift_s"] = has_drift ? JsonObject(drift_s) : JsonObject(nullptr);
    fields["after_s"] = problem.empty() ? JsonObject(r.deviation_s) : JsonObject(nullptr);
    fields["ok"] = in_step && writes_.failed == failed_before;
    event(EventType::ClockSynced, fields);
    JournalEntry e = entry(kind::kClock, request ? request->asker : Door::Daemon);
    if (has_drift) e.before = std::to_string(drift_s);
    if (problem.empty()) e.after = std::to_string(r.deviation_s);
    e.ok = in_step && writes_.failed == failed_before;
    e.detail = problem;
    note(std::move(e));
    // The readings after it start a stretch of their own.
    fresh_reading_ = true;
    std::string message = "Uhr gestellt (0T" + r.time_sent + ", 0D" + r.date_sent + ")";
    if (has_drift) message += ", Abweichung vorher " + signed_seconds(drift_s);
    if (in_step) {
        next_sync_ms_ = 0;
        message += ", danach " + signed_seconds(r.deviation_s);
    } else {
        // A clock that will not take the time is not pestered every poll.
        next_sync_ms_ = clock_.now_ms() + kSyncRetryMs;
        message += problem.empty() ? ", danach noch " + signed_seconds(r.deviation_s) + " daneben"
                                   : ", Kontrolle fehlgeschlagen: " + problem;
        message += "; nächster Versuch frühestens in einer Stunde";
    }
    if (!request) {
        log(message);
    } else {
        Outcome o{in_step ? Outcome::Kind::Done : problem.empty() ? Outcome::Kind::NotTaken : Outcome::Kind::Silent,
                  message};
        o.data["drift_s"] = problem.empty() ? JsonObject(r.deviation_s) : JsonObject(nullptr);
        result(*request, std::move(o));
    }
    if (problem.empty()) status_read(r.reply);
}

ListedTimer LineAgent::read_one_timer(int n) {
    ListedTimer t;
    t.timer = n;
    t.reading = read_timer_state(link_, t.fields, n);
    return t;
}

void LineAgent::read_timers() {
    timers_tried_ = true;
    for (int n = 1; n <= 5 && link_.port && !stopping_; ++n) {
        ListedTimer t = read_one_timer(n);
        if (t.reading.state == TimerState::Failed) {
            // What was last read stays published; a failed read tells nothing new.
            const bool unsent = writes_.failed > counted_unsent_;
            log(memory_read_failed(n) + (unsent ? std::string(" ") + kSendFailed : ""));
            // A line that lost the link over writes it did not take is not
            // asked for the rest.
            if (unsent_writes() > 0 && !link_up()) break;
            continue;
        }
        timer_seen(t);
    }
    unsent_writes();
}

Outcome LineAgent::refuse(const Request& r, const std::string& why, Outcome::Kind kind) {
    result(r, {kind, why});
    return outcome_;
}

Outcome LineAgent::run(const Request& r) {
    if (!link_.port) return refuse(r, not_queued_text(NotQueued::PortClosed, config_.port));
    outcome_ = {Outcome::Kind::Unavailable, "Nichts ausgeführt"};
    command_mark_ = writes_.failed;
    changing_ = &r;
    const bool read_after = run_command(r);
    command_mark_ = -1;
    unsent_writes();
    // After every command the state as the device has it now, and what it
    // could not tell before.
    if (read_after) read_status();
    else read_unknown_timers();
    changing_ = nullptr;
    return outcome_;
}

bool LineAgent::run_command(const Request& r) {
    using Kind = Request::Kind;
    const std::string n = std::to_string(r.timer);
    switch (r.kind) {
        case Kind::Setting: {
            if (r.expect_settings) {
                // Settings changed since the asker looked are not overwritten unseen.
                const Request* asking = changing_;
                changing_ = nullptr;
                const bool read = read_status();
                changing_ = asking;
                if (!read) {
                    refuse(r, last_problem_ + "; nichts gesendet", Outcome::Kind::Silent);
                    return false;
                }
                const auto now = picture_.snapshot().status;
                if (!now || status_settings(now->record) != *r.expect_settings) {
                    refuse(r, kSettingsChangedElsewhere, Outcome::Kind::NotTaken);
                    return false;
                }
            }
            const auto status = picture_.snapshot().status;
            std::string settings = status ? status_settings(status->record) : "";
            if (!is_valid_settings_string(settings)) {
                refuse(r, !status ? "Noch kein gültiger Gerätestatus gelesen; nichts gesendet"
                                               : "Der Gerätestatus meldet ungültige Einstellungen (" + settings +
                                                     "); nichts gesendet",
                       Outcome::Kind::Unavailable);
                return false;
            }
            for (std::size_t i = 0; i < 4; ++i)
                if (r.settings[i]) settings[i] = r.settings[i];
            const Confirmed c = send_settings_confirmed(link_, clock_, settings);
            result(r, confirmed(c, c.message));
            if (c.ok && command_sent()) {
                JsonObject f;
                f["settings"] = settings;
                event(EventType::SettingsSent, f);
            }
            if (status_record_problem(c.reply).empty()) status_read(c.reply);
            return false;
        }
        case Kind::Ir: {
            const Confirmed c = switch_ir_confirmed(link_, clock_, r.on);
            result(r, confirmed(c, c.message));
            if (c.ok && command_sent()) {
                JsonObject f;
                f["ir"] = r.on ? "ein" : "aus";
                event(EventType::IrSwitched, f);
            }
            if (status_record_problem(c.reply).empty()) status_read(c.reply);
            return false;
        }
        case Kind::WriteTimer:
        case Kind::EraseTimer: {
            const bool erase = r.kind == Kind::EraseTimer;
            if (r.expect) {
                // Another door or the device's own buttons may have changed
                // it since the asker looked: that is not overwritten unseen.
                const ListedTimer held = read_one_timer(r.timer);
                if (held.reading.state == TimerState::Failed) {
                    refuse(r, memory_read_failed(r.timer) + "; nichts gesendet",
                           Outcome::Kind::Silent);
                    return true;
                }
                // What it holds before the write is not the asker's doing.
                const Request* asking = changing_;
                changing_ = nullptr;
                timer_seen(held);
                changing_ = asking;
                if ((held.reading.state == TimerState::Set ? held.reading.record : "") != *r.expect) {
                    refuse(r, changed_elsewhere_text(r.timer), Outcome::Kind::NotTaken);
                    return false;
                }
            }
            const RestoreStep step = restore_timer(link_, clock_, r.timer, erase ? "" : r.record);
            JsonObject f;
            f["timer"] = r.timer;
            if (!erase) f["record"] = r.record;
            // A record that did not go out has no outcome to report, only the failure.
            RestoreStep seen = step;
            if (!command_sent()) seen.outcome = RestoreOutcome::ReadBackFailed;
            if (seen.outcome == RestoreOutcome::ReadBackFailed && command_sent()) {
                // It went out: whether it took is not known until the timer is read again.
                picture_.forget_timer(r.timer);
                // Found later, the record it sent is still the asker's change.
                unclear_[static_cast<std::size_t>(r.timer - 1)] = Unclear{erase ? "" : r.record, r.asker, r.undo_of};
                result(r, {Outcome::Kind::Silent, "Timer " + n + ": " + outcome_unknown_text(r.timer)});
            } else {
                result(r, {outcome_kind(seen.outcome), restore_step_text(seen)});
            }
            if (seen.outcome == RestoreOutcome::Written) event(EventType::TimerWritten, f);
            if (seen.outcome == RestoreOutcome::Erased) event(EventType::TimerErased, f);
            if (seen.outcome == RestoreOutcome::Refused) event(EventType::TimerRefused, f);
            read_timers();
            break;
        }
        case Kind::TestTimer: {
            // The record the device holds now, not one read minutes ago.
            const ListedTimer t = read_one_timer(r.timer);
            if (t.reading.state != TimerState::Failed) timer_seen(t);
            if (t.reading.state != TimerState::Set) {
                refuse(r, (t.reading.state == TimerState::Empty ? "Timer " + n + " ist leer"
                                                                : memory_read_failed(r.timer)) +
                              "; nichts getestet",
                       t.reading.state == TimerState::Empty ? Outcome::Kind::NotTaken : Outcome::Kind::Silent);
                return false;
            }
            write_command(link_, cmd::test_timer(n, t.reading.record));
            // An acknowledgement must not join the next reply.
            discard_until_quiet(link_);
            result(r, {Outcome::Kind::Done, "Timer " + n + " getestet (0V0" + n + t.reading.record + ")"});
            if (!command_sent()) break;
            JsonObject f;
            f["timer"] = r.timer;
            event(EventType::TimerTested, f);
            break;
        }
        case Kind::ClockSync:
            sync_clock(&r, has_drift_, last_drift_s_);
            return false;
        case Kind::ClockShift: {
            const ClockShift s = shift_device_clock(link_, clock_, r.forward, nullptr);
            if (s.time_sent.empty()) {
                refuse(r, std::string(kTimerStatusFailed) + (s.problem.empty() ? "" : " (" + s.problem + ")") +
                              "; nichts gesendet",
                       Outcome::Kind::Silent);
                return false;
            }
            const Confirmed c = confirm_shift(link_, clock_, s);
            if (c.ok && command_sent()) {
                JournalEntry e = entry(kind::kClock, r.asker);
                e.detail = r.forward ? "+1h" : "-1h";
                note(std::move(e));
                fresh_reading_ = true;
            }
            std::string message = c.message;
            if (c.ok && command_sent() && config_.clock_sync_auto) {
                // A person moved the clock on purpose: the daemon does not undo it at once.
                next_sync_ms_ = clock_.now_ms() + kSyncRetryMs;
                message += "; der automatische Abgleich ruht eine Stunde";
            }
            result(r, confirmed(c, message));
            if (status_record_problem(c.reply).empty()) status_read(c.reply);
            return false;
        }
        case Kind::Refresh: {
            const bool ok = read_status();
            read_timers();
            result(r, {ok ? Outcome::Kind::Done : Outcome::Kind::Silent, ok ? "Status und Timer gelesen" : last_problem_});
            return false;
        }
        case Kind::RawSend: {
            write_command(link_, cmd::free_text(r.line));
            const std::string reply = read_reply_line(link_, cmd::kFreeCommandLimitMs);
            picture_.set_reply(reply);
            if (command_sent()) {
                JournalEntry e = entry(kind::kRaw, r.asker);
                e.before = r.line;
                e.after = reply;
                e.ok = !reply.empty();
                note(std::move(e));
            }
            if (reply.empty()) {
                result(r, {Outcome::Kind::Silent, kNoReply});
            } else {
                Outcome o{Outcome::Kind::Done, "Rückmeldung:" + reply};
                o.data["reply"] = utf8_from_1252(reply);
                result(r, std::move(o));
            }
            break;
        }
        case Kind::Restore: {
            // One entry per command line, in the order they go out.
            const std::vector<std::string> commands = restore_commands(r.entries);
            const std::vector<std::string> texts = restore_texts(r.entries, config_.stations, names_);
            JsonObject lines = JsonObject::array();
            // A line whose bytes did not go out was not sent, whatever was read after it.
            int step_mark = writes_.failed;
            const auto add = [&](bool ok, const std::string& text) {
                const bool sent = writes_.failed == step_mark;
                step_mark = writes_.failed;
                JsonObject l;
                l["command"] = lines.size() < commands.size() ? commands[lines.size()] : "";
                l["text"] = utf8_from_1252(lines.size() < texts.size() ? texts[lines.size()] : "");
                l["ok"] = ok && sent;
                l["result"] = utf8_from_1252(sent ? text : std::string("nicht gesendet: ") + kSendFailed);
                lines.push_back(l);
                return ok && sent;
            };
            const RestoreSummary done = restore_backup(
                link_, clock_, r.entries,
                [&](const Confirmed& c) {
                    if (!add(c.ok, c.message)) return;
                    JsonObject f;
                    f["settings"] = mid(c.reply, 16, 4);
                    event(EventType::SettingsSent, f);
                },
                [&](const RestoreStep& s) {
                    const bool ok = add(s.ok(), restore_step_text(s));
                    JsonObject f;
                    f["timer"] = s.timer;
                    if (!s.sent.empty()) f["record"] = s.sent;
                    if (ok) event(s.sent.empty() ? EventType::TimerErased : EventType::TimerWritten, f);
                    if (s.outcome == RestoreOutcome::Refused && writes_.failed == step_mark)
                        event(EventType::TimerRefused, f);
                },
                [&] { return stopping_.load(); });
            while (lines.size() < commands.size()) {
                step_mark = writes_.failed;
                add(false, "nicht gesendet");
            }
            const std::size_t failed = static_cast<std::size_t>(
                std::count_if(lines.begin(), lines.end(), [](const JsonObject& l) { return !l["ok"].get<bool>(); }));
            // The lines say what each came to; the whole is done once it ran.
            Outcome o{Outcome::Kind::Done,
                      done.ok() ? "Sicherung eingespielt (" + std::to_string(lines.size()) + " Befehle)"
                                : std::to_string(failed) + " von " + std::to_string(lines.size()) +
                                      " Befehlen nicht übernommen"};
            o.data["ok"] = done.ok();
            o.data["lines"] = lines;
            result(r, std::move(o));
            read_timers();
            break;
        }
    }
    return true;
}

}  // namespace zd::daemon
