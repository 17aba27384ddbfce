#pragma once
#include <string>

#include "device/link.h"

namespace zd {

constexpr const char* kDefaultRecord = "W00000000000000000000000000";
constexpr int kTimerReadLimitMs = 4000;

// One timer in decoded form. Plain texts of fixed width, kept so by the screens.
struct TimerFields {
    std::string number;    // "1".."5"
    std::string kind;      // "W" or "D"
    std::string days[7];   // Sunday .. Saturday, "1" set / "0" clear
    std::string date;      // DDMMYY
    std::string source;    // "0".."4"
    std::string station;   // "00".."29"
    std::string targets;   // Tape1, Tape2, LS-A, LS-B
    std::string start;     // HHMM
    std::string end;       // HHMM
    std::string day_list;  // e.g. "Mo Mi Fr "
    std::string record;    // last composed record text
};

enum Weekday { kSunday = 0, kMonday, kTuesday, kWednesday, kThursday, kFriday, kSaturday };
extern const char* const kDayAbbreviations[7];  // "So ", "Mo ", ... "Sa "
extern const char* const kDayNames[7];          // "So", "Mo", ... "Sa", in record order
extern const char* const kTargetNames[4];       // "Tape1", "Tape2", "LS-A", "LS-B", in record order

// discard input, "0C0" + number, one reply line within 4000 ms. Sets the number field.
std::string read_timer(DeviceLink& link, TimerFields& fields, int timer_number);
// Decodes `last_reply` into `fields`; empties it for a failed read and
// normalises a date record to 32 characters.
void parse_timer_reply(TimerFields& fields, std::string& last_reply);
// Composes fields.record from the fields.
void build_timer_record(TimerFields& fields);
bool is_well_formed_record(const std::string& record);

// What reading a timer came to, told from the last reply after the parse.
enum class TimerState { Failed, Empty, Set };
TimerState timer_state(const std::string& last_reply);
// The reply the tool builds to feed a record of its own through the parser.
std::string own_reply(const std::string& number, const std::string& record);

}  // namespace zd
