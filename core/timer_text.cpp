#include "core/timer_text.h"

#include "core/texts.h"
#include "device/text_util.h"

namespace zd {

namespace {

std::string source_text(const TimerFields& f) {
    if (f.source == "0") return "Tuner " + f.station;
    if (f.source == "1") return "CD " + f.station;
    return source_name(f.source);
}

}  // namespace

std::string source_name(const std::string& source) {
    static const char* const kNames[5] = {"Tuner", "CD", "Tape1", "Tape2", "Phono"};
    if (source.size() != 1 || source[0] < '0' || source[0] > '4') return "";
    return kNames[source[0] - '0'];
}

std::vector<std::string> target_names(const std::string& targets) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < 4; ++i)
        if (mid(targets, i + 1, 1) == "1") names.push_back(kTargetNames[i]);
    return names;
}

std::string timer_overview_entry(int timer_number, const TimerFields& f, const std::string& reply) {
    const std::string n = std::to_string(timer_number);
    switch (timer_state(reply)) {
        case TimerState::Failed: return "\r" + memory_read_failed(timer_number) + "\r\r\r\r";
        case TimerState::Empty: return "\rTimer " + n + " ist leer!\r\r\r\r";
        case TimerState::Set: break;
    }
    std::string entry = "\rNR." + mid(reply, 5, 1);
    if (f.kind == "D")
        entry += "  Datum: " + mid(f.date, 1, 2) + "." + mid(f.date, 3, 2) + ".20" + mid(f.date, 5, 2) + " ";
    else
        entry += "  Tage: " + f.day_list;
    entry += "  Zeit: " + hh_mm(f.start) + " - " + hh_mm(f.end) + " Uhr\r\r";
    entry += "      Quelle: " + source_text(f) + "   Ziel: ";
    for (const std::string& t : target_names(f.targets)) entry += t + " ";
    entry += "\r\r";
    return entry;
}

std::string timer_summary(const ListedTimer& t, const std::string (&stations)[kStationCount]) {
    const std::string entry = timer_overview_entry(t.timer, t.fields, t.reading.last_reply);
    std::string line;
    for (char c : entry) {
        const char ch = c == '\r' ? ' ' : c;
        if (ch == ' ' && (line.empty() || line.back() == ' ')) continue;
        line += ch;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    const std::string station = timer_station_name(t, stations);
    if (!station.empty()) line += " (" + station + ")";
    if (line.size() > 255) line.resize(255);
    return line;
}

std::string timer_station_name(const ListedTimer& t, const std::string (&stations)[kStationCount]) {
    if (t.reading.state != TimerState::Set || t.fields.source != "0") return "";
    const long n = leading_number(t.fields.station);
    return n >= 0 && n < kStationCount ? stations[n] : "";
}

ListedTimer listed_timer(int n, const std::string& record) {
    ListedTimer t;
    t.timer = n;
    const std::string digit = std::to_string(n);
    t.reading.raw_reply = "0C0" + digit + digit + (record.empty() ? "E" : record);
    t.reading.last_reply = t.reading.raw_reply;
    t.fields.number = digit;
    parse_timer_reply(t.fields, t.reading.last_reply);
    t.reading.state = timer_state(t.reading.last_reply);
    if (t.reading.state == TimerState::Set) t.reading.record = record;
    return t;
}

}  // namespace zd
