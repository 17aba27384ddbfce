#pragma once
#include <string>

#include "device/link.h"
#include "platform/clock.h"

// Commands the device acknowledges with nothing that says they took: each is
// followed by a status query, and only what that query shows counts.
namespace zd {

struct Confirmed {
    bool ok = false;
    std::string message;  // German: what was confirmed, or what went wrong
    std::string reply;    // the status record read back ("" when silent)
};

// Sends "0S" + settings (valid per is_valid_settings_string), lets the
// acknowledgement pass, reads the status back and compares positions 16-19.
// An invalid string sends nothing.
Confirmed send_settings_confirmed(DeviceLink& link, Clock& clock, const std::string& settings);
// "0R0"/"0R1", then the status read back and position 20 compared ("0" = on).
Confirmed switch_ir_confirmed(DeviceLink& link, Clock& clock, bool on);

}  // namespace zd
