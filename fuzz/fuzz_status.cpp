// Any reply: the status decoding never reads out of bounds.
#include <cstdint>
#include <string>

#include "core/status_text.h"
#include "device/status_record.h"
#include "device/text_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    static const zd::ValueNames names = zd::make_value_names();
    if (zd::is_status_record(reply)) {
        const std::string report = zd::build_status_report(reply, names);
        if (report.find("IR-Emp") == std::string::npos) __builtin_trap();
    }
    (void)zd::status_date_text(reply);
    (void)zd::status_time_text(reply);
    (void)zd::code_name(reply, names.power_on);
    (void)zd::leading_number(reply);
    return 0;
}
