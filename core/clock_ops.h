#pragma once
#include <functional>
#include <string>

#include "core/confirmed_ops.h"
#include "device/link.h"
#include "platform/clock.h"
#include "platform/system.h"

namespace zd {

constexpr int kClockCommandPauseMs = 150;

// The hour shift: a status query, then the device clock one hour later or
// earlier; across midnight the date follows into the next or previous day.
// A record whose date or time is not real sends nothing.
struct ClockShift {
    std::string reply;      // the status query's reply, whatever it was
    bool queried = false;   // the reply was a status record with a real date and time
    std::string problem;    // else what was wrong with it (status_record_problem)
    std::string time_sent;  // HHMMSS after "0T"
    std::string date_sent;  // DDMMYY after "0D", empty when the date stayed
};
ClockShift shift_device_clock(DeviceLink& link, Clock& clock, bool forward,
                              const std::function<void()>& show_progress);
// The shift checked: a status read back must show the time sent, on the date
// sent or read before, later by no more than the read-back itself may take
// (a little earlier for the device's rounding).
constexpr int kShiftCheckEarlyS = 2;
constexpr int kShiftCheckLateS = 10;
Confirmed confirm_shift(DeviceLink& link, Clock& clock, const ClockShift& shift);

// Setting the device clock and date from the PC's local time, then checking
// them with a status query.
constexpr int kSyncToleranceS = 2;
struct ClockSync {
    std::string time_sent;  // HHMMSS
    std::string date_sent;  // DDMMYY
    std::string reply;      // the checking query's reply
    bool queried = false;   // the reply was a status record
    bool readable = false;  // the record held a real date and time
    long long deviation_s = 0;  // device clock minus PC clock
    bool in_step() const { return queried && readable && deviation_s >= -kSyncToleranceS && deviation_s <= kSyncToleranceS; }
};
ClockSync sync_device_clock(DeviceLink& link, Clock& clock, System& sys);

}  // namespace zd
