#include "screens/settings_window_actions.h"

#include "app/companion_file.h"
#include "app/config.h"
#include "device/commands.h"
#include "device/text_util.h"
#include "screens/settings_window.h"
#include "screens/settings_window_clock.h"

namespace zd::settings {

namespace {

constexpr int kHourShiftPauseMs = 150;
const char* const kInvalidInput = "Ungültige Eingabe, nichts gesendet";
const char* const kQueryFailed = "Abfrage Timerstatus fehlgeschlagen";

void send_time(Context& ctx, const std::string& hhmmss) {
    write_command(ctx.link, cmd::set_time(hhmmss));
    set_status(ctx, "Zeit gesendet (0T" + hhmmss + ")");
}

void send_date(Context& ctx, const std::string& ddmmyy) {
    write_command(ctx.link, cmd::set_date(ddmmyy));
    set_status(ctx, "Datum gesendet (0D" + ddmmyy + ")");
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
    set_status(ctx, "Einstellung gesendet (0S" + ctx.st.settings_string + ")");
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
    set_status(ctx, on ? "IR ein gesendet (0R0)" : "IR aus gesendet (0R1)");
}

void shift_device_hour(Context& ctx, bool forward) {
    ctx.st.last_reply = query_status(ctx.link, [&] { set_status(ctx, "Abfrage Timerstatus..."); });
    const std::string record = ctx.st.last_reply;
    if (!is_status_record(record)) {
        set_status(ctx, kQueryFailed);
        return;
    }
    const std::string time = mid(record, 10, 6);
    const std::string date = mid(record, 4, 6);
    const HourShift shifted = shift_hour(time, forward);
    ctx.clock.pause_ms(kHourShiftPauseMs);
    write_command(ctx.link, cmd::set_time(shifted.time));
    std::string status = "Zeit gesendet (0T" + shifted.time + ")";
    // Only a real clock and date can be carried into the next or previous
    // day; otherwise the hour alone is shifted.
    if (shifted.crossed_midnight && is_real_time(time) && is_real_date(date)) {
        const std::string new_date = shift_date(date, forward ? 1 : -1);
        ctx.clock.pause_ms(kHourShiftPauseMs);
        write_command(ctx.link, cmd::set_date(new_date));
        status += ", Datum gesendet (0D" + new_date + ")";
    }
    set_status(ctx, status);
}

void send_pc_date(Context& ctx) {
    const LocalTime now = ctx.sys.local_time();
    send_date(ctx, date_ddmmyy(now.day, now.month, now.year));
}

void send_pc_time(Context& ctx) {
    const LocalTime now = ctx.sys.local_time();
    send_time(ctx, two_digit(now.hour) + two_digit(now.minute) + two_digit(now.second));
}

}  // namespace zd::settings
