#include "gui/settings_window_actions.h"

#include "core/clock_ops.h"
#include "core/companion_file.h"
#include "core/config.h"
#include "core/texts.h"
#include "device/clock_math.h"
#include "device/commands.h"
#include "gui/settings_window.h"

namespace zd::settings {

namespace {

const char* const kInvalidInput = "Ungültige Eingabe, nichts gesendet";

void send_time(Context& ctx, const std::string& hhmmss) {
    write_command(ctx.link, cmd::set_time(hhmmss));
    set_status(ctx, confirm::time_sent(hhmmss));
}

void send_date(Context& ctx, const std::string& ddmmyy) {
    write_command(ctx.link, cmd::set_date(ddmmyy));
    set_status(ctx, confirm::date_sent(ddmmyy));
}

// Cancelled or empty: nothing. Anything but a real value: refused, so the
// device never gets a clock or date it cannot hold.
void ask_and_send(Context& ctx, const std::string& prompt, bool (*is_real)(const std::string&),
                  void (*send)(Context&, const std::string&)) {
    const std::string text = ctx.ui.ask_text("Zendrill", prompt, "").value_or("");
    if (text.empty()) return;
    if (!is_real(text)) {
        set_status(ctx, kInvalidInput);
        return;
    }
    send(ctx, text);
}

}  // namespace

void set_status(Context& ctx, const std::string& text) { ctx.ui.set_text(kSetStatusLine, text); }

void send_settings(Context& ctx) {
    write_command(ctx.link, cmd::set_settings(ctx.st.settings_string));
    set_status(ctx, confirm::settings_sent(ctx.st.settings_string));
}

void remember_quick_mode(Context& ctx) {
    ctx.st.config.quick_mode = ctx.st.settings_string;
    replace_key_lines(ctx.sys, kCompanionFileName, "B203Modus", ctx.st.config.quick_mode);
}

void ask_and_send_time(Context& ctx) {
    ask_and_send(ctx, "Bitte die neue Zeit im Format HHMMSS eingeben:", is_real_time, send_time);
}

void ask_and_send_date(Context& ctx) {
    ask_and_send(ctx, "Bitte das neue Datum im Format TTMMYY eingeben:", is_real_date, send_date);
}

void send_ir(Context& ctx, bool on) {
    write_command(ctx.link, on ? cmd::ir_on() : cmd::ir_off());
    set_status(ctx, confirm::ir_sent(on));
}

void shift_device_hour(Context& ctx, bool forward) {
    const ClockShift shift =
        shift_device_clock(ctx.link, ctx.clock, forward, [&] { set_status(ctx, "Abfrage Timerstatus..."); });
    ctx.st.last_reply = shift.reply;
    if (!shift.queried) {
        set_status(ctx, kTimerStatusFailed);
        return;
    }
    std::string status = confirm::time_sent(shift.time_sent);
    if (!shift.date_sent.empty()) status += ", " + confirm::date_sent(shift.date_sent);
    set_status(ctx, status);
}

void send_pc_date(Context& ctx) {
    const LocalTime now = ctx.sys.local_time();
    send_date(ctx, date_ddmmyy(now.day, now.month, now.year));
}

void send_pc_time(Context& ctx) {
    const LocalTime now = ctx.sys.local_time();
    send_time(ctx, time_hhmmss(now.hour, now.minute, now.second));
}

}  // namespace zd::settings
