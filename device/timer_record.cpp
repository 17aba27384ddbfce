#include "device/timer_record.h"

#include "device/commands.h"
#include "device/text_util.h"

namespace zd {

const char* const kDayAbbreviations[7] = {"So ", "Mo ", "Di ", "Mi ", "Do ", "Fr ", "Sa "};
const char* const kDayNames[7] = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
const char* const kTargetNames[4] = {"Tape1", "Tape2", "LS-A", "LS-B"};

std::string read_timer(DeviceLink& link, TimerFields& fields, int timer_number) {
    discard_input(link);
    fields.number = std::to_string(timer_number);
    write_command(link, cmd::read_timer(fields.number));
    return read_reply_line(link, kTimerReadLimitMs);
}

void parse_timer_reply(TimerFields& f, std::string& reply) {
    f.day_list.clear();
    if (reply.size() < 5 || reply.substr(4, 1) != f.number) {
        reply.clear();
        return;
    }
    if (reply.back() == 'E') return;
    // Too short to hold a record: a failed read, not the previous timer's fields.
    if (reply.size() < 30) {
        reply.clear();
        return;
    }
    if (reply[5] == 'D') reply = reply.substr(0, 12) + " " + reply.substr(reply.size() - 19);

    f.number = mid(reply, 5, 1);
    f.kind = mid(reply, 6, 1);
    for (int d = 0; d < 7; ++d) {
        f.days[d] = mid(reply, static_cast<std::size_t>(7 + d), 1);
        if (f.days[d] == "1") f.day_list += kDayAbbreviations[d];
    }
    f.source = mid(reply, 14, 1);
    f.station = mid(reply, 15, 2);
    f.targets = mid(reply, 17, 4);
    f.start = mid(reply, 21, 4);
    f.end = mid(reply, 27, 4);
    if (f.kind == "D") f.date = mid(reply, 7, 6);
}

void build_timer_record(TimerFields& f) {
    std::string record;
    if (f.kind == "W") {
        record = "W";
        // After a date record the flags hold date digits; anything but "1" is clear.
        for (const auto& day : f.days) record += (day == "1") ? "1" : "0";
    } else {
        std::string date = f.date;
        while (date.size() < 6) date = "0" + date;
        record = f.kind + date;
    }
    record += f.source + f.station + f.targets + f.start + "00" + f.end + "00";
    f.record = record;
}

bool is_well_formed_record(const std::string& r) {
    return (r.size() == 27 && r[0] == 'W') || (r.size() == 26 && r[0] == 'D');
}

std::string own_reply(const std::string& number, const std::string& record) {
    return "0500" + number + record;
}

TimerState timer_state(const std::string& reply) {
    if (reply.empty()) return TimerState::Failed;
    if (reply.back() == 'E') return TimerState::Empty;
    return TimerState::Set;
}

}  // namespace zd
