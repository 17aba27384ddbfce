#pragma once
#include <string>

#include "device/link.h"
#include "platform/clock.h"

namespace zd {

// A command that reads no reply, confirmed by reading the status back.
struct Confirmed {
    bool ok = false;
    std::string message;  // what was confirmed, or what went wrong
    std::string reply;    // the status record read back ("" when silent)
};
Confirmed send_settings_confirmed(DeviceLink& link, Clock& clock, const std::string& settings);
Confirmed switch_ir_confirmed(DeviceLink& link, Clock& clock, bool on);

}  // namespace zd
