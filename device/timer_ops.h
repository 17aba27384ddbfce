#pragma once
#include <string>

#include "device/link.h"
#include "device/timer_record.h"
#include "platform/clock.h"

namespace zd {

constexpr int kWriteReplyLimitMs = 1000;
constexpr int kErasePauseMs = 1000;
constexpr char kRefusal = '\x07';  // BEL: the device did not take the data

// True for the device's refusal: a reply line of the lone BEL.
bool is_refusal(const std::string& reply);

// "0E0" + number + record, then one reply line within 1000 ms, returned.
// Pending input is not discarded first.
std::string write_timer_record(DeviceLink& link, const std::string& number, const std::string& record);
// "0E0" + number + "E", then a 1000 ms pause; the answer is left queued.
void erase_timer_record(DeviceLink& link, Clock& clock, const std::string& number);

// One timer read and decoded into `fields`.
struct TimerReading {
    TimerState state = TimerState::Failed;
    std::string raw_reply;   // as received
    std::string last_reply;  // after the parse (emptied, normalised)
    std::string record;      // for a set timer, the record as the device sent it
};
TimerReading read_timer_state(DeviceLink& link, TimerFields& fields, int timer_number);

}  // namespace zd
