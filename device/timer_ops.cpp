#include "device/timer_ops.h"

#include "device/clock_math.h"
#include "device/commands.h"

namespace zd {

namespace {

bool all_flags(const std::string& s, std::size_t pos, std::size_t count) {
    for (std::size_t i = pos; i < pos + count; ++i)
        if (s[i] != '0' && s[i] != '1') return false;
    return true;
}

}  // namespace

bool is_refusal(const std::string& reply) { return reply == std::string(1, kRefusal); }

std::string write_timer_record(DeviceLink& link, const std::string& number, const std::string& record) {
    write_command(link, cmd::write_timer(number, record));
    return read_reply_line(link, kWriteReplyLimitMs);
}

void erase_timer_record(DeviceLink& link, Clock& clock, const std::string& number) {
    write_command(link, cmd::erase_timer(number));
    clock.pause_ms(kErasePauseMs);
}

TimerReading read_timer_state(DeviceLink& link, TimerFields& fields, int timer_number) {
    TimerReading r;
    r.raw_reply = read_timer(link, fields, timer_number);
    r.last_reply = r.raw_reply;
    parse_timer_reply(fields, r.last_reply);
    r.state = timer_state(r.last_reply);
    if (r.state == TimerState::Set) r.record = r.raw_reply.substr(5);
    return r;
}

bool is_composable_record(const std::string& r) {
    std::size_t tail = 0;  // where the 19 characters from the source on begin
    if (r.size() == 27 && r[0] == 'W' && all_flags(r, 1, 7)) {
        tail = 8;
    } else if (r.size() == 26 && r[0] == 'D' && is_real_date(r.substr(1, 6))) {
        tail = 7;
    } else {
        return false;
    }
    if (r[tail] < '0' || r[tail] > '4') return false;
    const std::string station = r.substr(tail + 1, 2);
    if (station[0] < '0' || station[0] > '2' || station[1] < '0' || station[1] > '9') return false;
    return all_flags(r, tail + 3, 4) && is_real_time(r.substr(tail + 7, 6)) && is_real_time(r.substr(tail + 13, 6));
}

}  // namespace zd
