#pragma once
#include <string>

#include "core/json_objects.h"

// A timer as a client sends it (an HTTP body, UTF-8) made into the record
// the device takes, by the same composition the editor uses.
namespace zd {

struct TimerRecordInput {
    std::string record;   // composable (ASCII); empty when refused
    std::string problem;  // German, Windows-1252, naming the key; empty when accepted
};

// `object` holds "record" ("W..."/"D..."), or the keys timer_object() prints
// for a set timer: kind, days, date, source, station, targets, start, end;
// or both, which must then give the same record. The keys timer, state,
// station_name and summary are what a read gives back and are ignored, but
// timer must be `timer` when present. A null value, or an empty list,
// counts as not given, so an object read from an empty timer may be filled
// in and sent back. Stations are two digits; for a source without one the
// station is "00", as in the editor. An empty record is refused: erasing is
// a request of its own.
TimerRecordInput timer_record_from_object(const JsonObject& object, int timer);

}  // namespace zd
