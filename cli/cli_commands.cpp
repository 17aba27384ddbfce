// The commands that talk to the device and print what it said.
#include "cli/cli_session.h"
#include "core/clock_ops.h"
#include "core/confirmed_ops.h"
#include "core/json_objects.h"
#include "core/scan_text.h"
#include "core/status_text.h"
#include "core/texts.h"
#include "core/timer_text.h"
#include "core/utf8.h"
#include "core/validation.h"
#include "device/commands.h"
#include "device/port_scan.h"
#include "device/timer_ops.h"

namespace zd::cli {

namespace {

void say_pane(const Session& s, const std::string& pane_text) {
    for (const std::string& line : pane_lines(pane_text)) s.say(line);
}

std::string signed_seconds(long long s) { return (s > 0 ? "+" : "") + std::to_string(s) + " s"; }

int confirmed(const Session& s, const Confirmed& c) {
    if (!c.ok) {
        s.complain(c.message);
        return kExitDevice;
    }
    s.say(c.message);
    return kExitOk;
}

}  // namespace

int run_status(Session& s) {
    if (int e = open_line(s)) return e;
    const std::string reply = query_status(s.link, nullptr);
    const std::string problem = status_record_problem(reply);
    if (!problem.empty()) {
        s.complain(problem);
        return kExitDevice;
    }
    if (s.request.json)
        s.host.io.out(status_json(reply, s.names));
    else
        say_pane(s, build_status_report(reply, s.names));
    return kExitOk;
}

int run_clock_sync(Session& s) {
    if (int e = open_line(s)) return e;
    const ClockSync r = sync_device_clock(s.link, s.host.clock, s.host.sys);
    s.say(confirm::time_sent(r.time_sent));
    s.say(confirm::date_sent(r.date_sent));
    const std::string problem = status_record_problem(r.reply);
    if (!problem.empty()) {
        s.complain(problem);
        return kExitDevice;
    }
    const std::string device_clock = status_date_text(r.reply) + " " + status_time_text(r.reply);
    s.say("Gerätezeit: " + device_clock + " (Abweichung zur PC-Uhr " + signed_seconds(r.deviation_s) + ")");
    if (!r.in_step()) {
        s.complain("Die Geräteuhr weicht um " + signed_seconds(r.deviation_s) + " von der PC-Uhr ab");
        return kExitDevice;
    }
    return kExitOk;
}

int run_clock_shift(Session& s) {
    if (int e = open_line(s)) return e;
    const ClockShift r = shift_device_clock(s.link, s.host.clock, s.request.argument == "+1", nullptr);
    if (!r.queried) {
        s.complain(r.problem);
        return kExitDevice;
    }
    s.say(confirm::time_sent(r.time_sent));
    if (!r.date_sent.empty()) s.say(confirm::date_sent(r.date_sent));
    const Confirmed check = confirm_shift(s.link, s.host.clock, r);
    if (!check.ok) {
        s.complain(check.message);
        return kExitDevice;
    }
    return kExitOk;
}

int run_timers_list(Session& s) {
    if (int e = open_line(s)) return e;
    std::vector<ListedTimer> timers;
    TimerFields fields;  // one set, as the overview reads them
    bool failed = false;
    for (int n = 1; n <= 5; ++n) {
        if (s.stopping()) {
            std::vector<int> read, unread;
            for (int k = 1; k <= 5; ++k) (k < n ? read : unread).push_back(k);
            s.complain("Abgebrochen; gelesen: " + part_list(read) + "; nicht gelesen: " + part_list(unread));
            return kExitDevice;
        }
        ListedTimer t;
        t.timer = n;
        t.reading = read_timer_state(s.link, fields, n);
        t.fields = fields;
        // Printed as they come: five timers of a silent device take 20 s.
        if (!s.request.json) say_pane(s, timer_overview_entry(n, fields, t.reading.last_reply));
        if (t.reading.state == TimerState::Failed) {
            failed = true;
            s.complain(memory_read_failed(n));  // a cron job sends stdout nowhere
        }
        timers.push_back(t);
    }
    if (s.request.json) s.host.io.out(timers_json(timers));
    return failed ? kExitDevice : kExitOk;
}

int run_send(Session& s) {
    std::string line;
    if (!utf8_to_1252(s.request.argument, line)) {
        s.complain("Die Zeile enthält Zeichen, die es in Windows-1252 nicht gibt; nichts gesendet");
        return kExitUsage;
    }
    const std::string problem = free_command_problem(line);
    if (!problem.empty()) {
        s.complain(problem + "; nichts gesendet");
        return kExitUsage;
    }
    if (int e = open_line(s)) return e;
    write_command(s.link, cmd::free_text(line));
    const std::string reply = read_reply_line(s.link, cmd::kFreeCommandLimitMs);
    if (reply.empty()) {
        s.complain(kNoReply);
        return kExitDevice;
    }
    s.say(reply);
    return kExitOk;
}

int run_scan(Session& s) {
    if (int e = open_line(s)) return e;
    std::vector<ScanEntry> entries;
    bool anyone = false;
    scan_addresses(
        s.link, nullptr,
        [&](const ScanEntry& e) {
            entries.push_back(e);
            anyone = anyone || !e.reply.empty();
            if (!s.request.json) s.say(pane_lines(scan_line(e.address, e.reply, e.identity.name)).front());
        },
        [&] { return s.stopping(); });
    const int asked = static_cast<int>(entries.size());
    if (asked < kScannedAddresses) {
        s.complain(asked == 0 ? std::string(kStoppedBeforeSending)
                              : "Abgebrochen; gefragt: Adresse 0 bis " + std::to_string(asked - 1) +
                                    "; nicht gefragt: Adresse " + std::to_string(asked) + " bis 9");
        return kExitDevice;
    }
    if (s.request.json) s.host.io.out(scan_json(entries));
    if (!anyone) {
        s.complain("Keine Adresse hat geantwortet");
        return kExitDevice;
    }
    return kExitOk;
}

int run_settings_send(Session& s) {
    const std::string& settings = s.request.argument;
    if (!is_valid_settings_string(settings)) {
        s.complain("Ungültige Einstellung \"" + s.shown(settings) +
                   "\": vier Ziffern, Sprache 0-2, Easy-Funktion 0-2, Timer 0-1, Einschaltbed. 0-4; nichts gesendet");
        return kExitUsage;
    }
    if (int e = open_line(s)) return e;
    return confirmed(s, send_settings_confirmed(s.link, s.host.clock, settings));
}

int run_ir(Session& s) {
    const bool on = s.request.argument == "on";
    if (int e = open_line(s)) return e;
    return confirmed(s, switch_ir_confirmed(s.link, s.host.clock, on));
}

}  // namespace zd::cli
