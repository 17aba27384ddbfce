// Any JSON body for a timer: a refusal always says why, and an accepted
// record passes the record check; its decoded fields, printed as the timer
// object a read gives, compose the same record again, except that a source
// without a station gets station 00 as in the editor (a record of such a
// source with another station is then refused beside its own fields).
#include <cstdint>
#include <string>

#include "core/timer_json.h"
#include "core/validation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int timer = 1 + data[0] % 5;
    const auto body = zd::JsonObject::parse(data + 1, data + size, nullptr, false);
    if (body.is_discarded()) return 0;
    const zd::TimerRecordInput in = zd::timer_record_from_object(body, timer);
    if (in.problem.empty() == in.record.empty()) __builtin_trap();
    if (in.record.empty()) return 0;
    if (!zd::is_composable_record(in.record)) __builtin_trap();

    zd::ListedTimer t;
    t.timer = timer;
    t.fields.number = std::to_string(timer);
    t.reading.raw_reply = t.reading.last_reply = zd::own_reply(t.fields.number, in.record);
    zd::parse_timer_reply(t.fields, t.reading.last_reply);
    t.reading.state = zd::timer_state(t.reading.last_reply);
    t.reading.record = in.record;
    zd::TimerFields again = t.fields;
    zd::build_timer_record(again);
    if (t.reading.state != zd::TimerState::Set || again.record != in.record) __builtin_trap();

    std::string edited = in.record;
    const std::size_t source = in.record[0] == 'W' ? 8 : 7;
    if (in.record[source] >= '2') edited.replace(source + 1, 2, "00");
    zd::JsonObject fields_only = zd::timer_object(t);
    fields_only.erase("record");
    if (zd::timer_record_from_object(fields_only, timer).record != edited) __builtin_trap();
    const zd::TimerRecordInput back = zd::timer_record_from_object(zd::timer_object(t), timer);
    if (back.record != (edited == in.record ? in.record : "")) __builtin_trap();
    return 0;
}
