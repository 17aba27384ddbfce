// Any reply: the parse never reads out of bounds, and a decoded record that
// is well-formed comes back unchanged through build and parse.
#include <cstdint>
#include <string>

#include "device/timer_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string reply(reinterpret_cast<const char*>(data), size);
    zd::TimerFields f;
    f.number = "3";
    f.date = "081226";
    std::string r = zd::own_reply("3", zd::kDefaultRecord);
    zd::parse_timer_reply(f, r);
    zd::parse_timer_reply(f, reply);
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
