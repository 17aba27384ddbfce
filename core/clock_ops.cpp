#include "core/clock_ops.h"

#include "core/texts.h"
#include "core/validation.h"
#include "device/clock_math.h"
#include "device/commands.h"
#include "device/status_record.h"
#include "device/text_util.h"

namespace zd {

namespace {


long long pc_seconds(const LocalTime& t) {
    return civil_seconds(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

bool in_last_seconds_of_day(const LocalTime& t, int seconds) {
    return t.hour == 23 && t.minute == 59 && t.second >= 60 - seconds;
}

// The start of a second, and past midnight when it is only seconds away, so
// that the time and the date sent belong to one moment.
LocalTime moment_to_send(Clock& clock, System& sys) {
    constexpr int kOnTheSecondMs = 50;
    LocalTime now = sys.local_time();
    for (int round = 0; round < 8; ++round) {
        if (in_last_seconds_of_day(now, 3))
            clock.pause_ms((60 - now.second) * 1000 - now.millisecond + kOnTheSecondMs / 2);
        else if (now.millisecond > kOnTheSecondMs)
            clock.pause_ms(1000 - now.millisecond);
        else
            break;
        now = sys.local_time();
    }
    return now;
}

}  // namespace

ClockShift shift_device_clock(DeviceLink& link, Clock& clock, bool forward,
                              const std::function<void()>& show_progress) {
    ClockShift r;
    r.reply = query_status(link, show_progress);
    r.problem = status_record_problem(r.reply);
    r.queried = r.problem.empty();
    if (!r.queried) return r;
    const std::string time = mid(r.reply, 10, 6);
    const std::string date = mid(r.reply, 4, 6);
    const HourShift shifted = shift_hour(time, forward);
    clock.pause_ms(kClockCommandPauseMs);
    write_command(link, cmd::set_time(shifted.time));
    r.time_sent = shifted.time;
    if (shifted.crossed_midnight) {
        r.date_sent = shift_date(date, forward ? 1 : -1);
        clock.pause_ms(kClockCommandPauseMs);
        write_command(link, cmd::set_date(r.date_sent));
    }
    return r;
}

Confirmed confirm_shift(DeviceLink& link, Clock& clock, const ClockShift& shift) {
    std::string sent = confirm::time_sent(shift.time_sent);
    if (!shift.date_sent.empty()) sent += ", " + confirm::date_sent(shift.date_sent);
    const std::string date = shift.date_sent.empty() ? mid(shift.reply, 4, 6) : shift.date_sent;
    long long expected = 0;
    Confirmed c;
    if (!record_civil_seconds("0X:" + date + shift.time_sent, expected)) {
        c.message = "Keine Uhrzeit gesendet";
        return c;
    }
    DeviceLink timed = paced_link(link, clock);
    discard_until_quiet(timed);  // the acknowledgements
    c.reply = query_status(timed, nullptr);
    const std::string problem = status_record_problem(c.reply);
    if (!problem.empty()) {
        c.message = sent + ", aber nicht bestätigt: " + problem;
        return c;
    }
    long long device = 0;
    record_civil_seconds(c.reply, device);
    if (device - expected < -kShiftCheckEarlyS || device - expected > kShiftCheckLateS) {
        c.message = sent + ", aber nicht übernommen: das Gerät meldet " + status_date_text(c.reply) + " " +
                    status_time_text(c.reply);
        return c;
    }
    c.ok = true;
    c.message = sent;
    return c;
}

ClockSync sync_device_clock(DeviceLink& link, Clock& clock, System& sys) {
    ClockSync r;
    const LocalTime now = moment_to_send(clock, sys);
    r.time_sent = time_hhmmss(now.hour, now.minute, now.second);
    r.date_sent = date_ddmmyy(now.day, now.month, now.year);
    write_command(link, cmd::set_time(r.time_sent));
    clock.pause_ms(kClockCommandPauseMs);
    write_command(link, cmd::set_date(r.date_sent));
    discard_until_quiet(link);
    r.reply = query_status(link, nullptr);
    r.queried = is_status_record(r.reply);
    long long device = 0;
    r.readable = r.queried && record_civil_seconds(r.reply, device);
    if (r.readable) r.deviation_s = device - pc_seconds(sys.local_time());
    return r;
}

}  // namespace zd
