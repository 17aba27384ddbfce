// Any reply: the parse never reads out of bounds, a decoded record that is
// well-formed comes back unchanged through build and parse, and the
// overview shows every reply as failed, empty or decoded.
#include <cstdint>
#include <string>

#include "core/timer_text.h"
#include "device/timer_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string reply(reinterpret_cast<const char*>(data), size);
    zd::TimerFields f;
    f.number = "3";
    f.date = "081226";
    std::string r = zd::own_reply("3", zd::kDefaultRecord);
    zd::parse_timer_reply(f, r);
    zd::parse_timer_reply(f, reply);
    const std::string entry = zd::timer_overview_entry(3, f, reply);
    if (reply.empty()) {
        if (entry.find("fehlgeschlagen") == std::string::npos) __builtin_trap();
    } else if (reply.back() == 'E') {
        if (entry.find("ist leer") == std::string::npos) __builtin_trap();
    } else if (entry.compare(0, 5, "\rNR.3") != 0 || entry.find(" Uhr\r\r") == std::string::npos) {
        __builtin_trap();
    }
    zd::build_timer_record(f);
    if (zd::is_well_formed_record(f.record)) {
        zd::TimerFields g = f;
        std::string again = zd::own_reply("3", f.record);
        zd::parse_timer_reply(g, again);
        zd::build_timer_record(g);
        if (g.record != f.record) __builtin_trap();
    }
    return 0;
}
