#include "core/confirmed_ops.h"

#include "core/texts.h"
#include "core/validation.h"
#include "device/commands.h"
#include "device/status_record.h"
#include "device/text_util.h"

namespace zd {

namespace {

// `command` on the line, its acknowledgement let pass, the status read back.
// The waits run on `clock`.
Confirmed send_and_read_back(DeviceLink& link, Clock& clock, const std::string& command, const std::string& sent) {
    DeviceLink timed = paced_link(link, clock);
    write_command(timed, command);
    discard_until_quiet(timed);
    Confirmed c;
    c.reply = query_status(timed, nullptr);
    const std::string problem = status_record_problem(c.reply);
    if (!problem.empty()) c.message = sent + ", aber nicht bestätigt: " + problem;
    return c;
}

}  // namespace

Confirmed send_settings_confirmed(DeviceLink& link, Clock& clock, const std::string& settings) {
    const std::string sent = confirm::settings_sent(settings);
    if (!is_valid_settings_string(settings)) {
        Confirmed c;
        c.message = "Ungültige Einstellung \"" + shown_text(settings) + "\": " + settings_problem(settings) +
                    "; nichts gesendet";
        return c;
    }
    Confirmed c = send_and_read_back(link, clock, cmd::set_settings(settings), sent);
    if (!c.message.empty()) return c;
    const std::string now = status_settings(c.reply);
    if (now != settings) {
        c.message = sent + ", aber nicht übernommen: das Gerät meldet " + shown_text(now);
        return c;
    }
    c.ok = true;
    c.message = sent;
    return c;
}

Confirmed switch_ir_confirmed(DeviceLink& link, Clock& clock, bool on) {
    const std::string sent = confirm::ir_sent(on);
    Confirmed c = send_and_read_back(link, clock, on ? cmd::ir_on() : cmd::ir_off(), sent);
    if (!c.message.empty()) return c;
    const std::string flag = mid(c.reply, 20, 1);
    if (flag != (on ? "0" : "1")) {
        c.message = sent + ", aber nicht übernommen: das Gerät meldet IR-Empfänger " + on_off_text(flag) + " (" +
                    shown_text(flag) + ")";
        return c;
    }
    c.ok = true;
    c.message = sent;
    return c;
}

}  // namespace zd
