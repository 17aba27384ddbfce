#include "device/timer_ops.h"

#include "device/commands.h"

namespace zd {

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

}  // namespace zd
