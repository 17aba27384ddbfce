#include "core/timer_json.h"

#include "core/timer_text.h"
#include "core/utf8.h"
#include "core/validation.h"
#include "device/clock_math.h"
#include "device/text_util.h"
#include "device/timer_record.h"

namespace zd {

namespace {

using json = JsonObject;

const char* const kFieldKeys[] = {"kind", "days", "date", "source", "station", "targets", "start", "end"};
// What a read gives back beside the input; a client may send it along.
const char* const kReadOnlyKeys[] = {"timer", "state", "station_name", "summary"};

template <std::size_t N>
bool is_one_of(const std::string& key, const char* const (&names)[N]) {
    for (const char* name : names)
        if (key == name) return true;
    return false;
}

std::string type_text(const json& v) {
    switch (v.type()) {
        case json::value_t::null: return "null";
        case json::value_t::boolean: return "Wahrheitswert";
        case json::value_t::string: return "Text";
        case json::value_t::array: return "Liste";
        case json::value_t::object: return "Objekt";
        default: return "Zahl";
    }
}

// Words from outside as a message quotes them: Windows-1252, control bytes shown, cut short.
std::string shown_words(const std::string& utf8) {
    std::string t;
    if (!utf8_to_1252(utf8, t)) return "(Zeichen außerhalb von Windows-1252)";
    return "\"" + shown_text(t) + "\"";
}

std::string shown(const json& v) {
    if (v.is_string()) return shown_words(v.get_ref<const std::string&>());
    return shown_text(v.dump(-1, ' ', false, json::error_handler_t::replace));
}

bool given(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && !it->is_null();
}

// Given with something in it: an empty list is no more than null.
bool has_value(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && !it->is_null() && !(it->is_array() && it->empty());
}

// The checks of one object; each returns "" or what is wrong with its key.
class Reader {
public:
    explicit Reader(const json& object) : o_(object) {}

    // A text value of a key that must be given.
    std::string text(const char* key, const char* expected, std::string& out) const {
        if (!given(o_, key)) return std::string(key) + ": fehlt";
        const json& v = o_.at(key);
        if (!v.is_string()) return std::string(key) + ": " + expected + " erwartet, nicht " + type_text(v);
        if (!utf8_to_1252(v.get_ref<const std::string&>(), out)) out = "\x01";  // fails every check below
        return "";
    }

    // A list of distinct names out of `names`; each found sets its flag.
    std::string flags(const char* key, const char* const* names, std::size_t count, std::string* set) const {
        if (!given(o_, key)) return std::string(key) + ": fehlt";
        const json& v = o_.at(key);
        std::string allowed;
        for (std::size_t i = 0; i < count; ++i) allowed += (i ? ", " : "") + std::string(names[i]);
        if (!v.is_array()) return std::string(key) + ": Liste erwartet (" + allowed + "), nicht " + type_text(v);
        for (const json& item : v) {
            std::size_t i = count;
            if (item.is_string())
                for (i = 0; i < count && item.get_ref<const std::string&>() != names[i]; ++i) {
                }
            if (i == count) return std::string(key) + ": " + shown(item) + " gibt es nicht (" + allowed + ")";
            if (set[i] == "1") return std::string(key) + ": " + shown(item) + " doppelt";
            set[i] = "1";
        }
        return "";
    }

    // "HH:MM" as HHMM.
    std::string clock(const char* key, std::string& hhmm) const {
        std::string t;
        if (std::string p = text(key, "eine Uhrzeit als Text (HH:MM)", t); !p.empty()) return p;
        hhmm = t.size() == 5 && t[2] == ':' ? t.substr(0, 2) + t.substr(3, 2) : "";
        if (is_real_time(hhmm + "00")) return "";
        return std::string(key) + ": " + shown_words(o_.at(key)) + " ist keine Uhrzeit (HH:MM)";
    }

    // "20YY-MM-DD" as DDMMYY.
    std::string date(std::string& ddmmyy) const {
        std::string t;
        if (std::string p = text("date", "ein Datum als Text (JJJJ-MM-TT)", t); !p.empty()) return p;
        const std::string q = "date: " + shown_words(o_.at("date"));
        bool form = t.size() == 10;
        for (std::size_t i = 0; form && i < 10; ++i)
            form = (i == 4 || i == 7) ? t[i] == '-' : t[i] >= '0' && t[i] <= '9';
        if (!form) return q + " ist kein Datum (JJJJ-MM-TT)";
        if (t.compare(0, 2, "20") != 0) return q + " liegt nicht in den Jahren 2000 bis 2099";
        ddmmyy = t.substr(8, 2) + t.substr(5, 2) + t.substr(2, 2);
        return is_real_date(ddmmyy) ? "" : q + " gibt es nicht";
    }

    // Must not be given for the other kind.
    std::string absent(const char* key, const char* kind) const {
        if (!has_value(o_, key)) return "";
        return std::string(key) + ": gilt nur für kind \"" + kind + "\"";
    }

private:
    const json& o_;
};

std::string fields_record(const json& o, int timer, std::string& record) {
    const Reader in(o);
    TimerFields f;
    f.number = std::to_string(timer);
    std::string kind;
    if (std::string p = in.text("kind", "Text (weekday, date)", kind); !p.empty()) return p;
    if (kind != "weekday" && kind != "date")
        return "kind: " + shown(o.at("kind")) + " gibt es nicht (weekday, date)";
    f.kind = kind == "weekday" ? "W" : "D";
    for (std::string& d : f.days) d = "0";
    if (f.kind == "W") {
        if (std::string p = in.flags("days", kDayNames, 7, f.days); !p.empty()) return p;
        if (std::string p = in.absent("date", "date"); !p.empty()) return p;
    } else {
        if (std::string p = in.absent("days", "weekday"); !p.empty()) return p;
        if (std::string p = in.date(f.date); !p.empty()) return p;
    }
    std::string source;
    if (std::string p = in.text("source", "Text (Tuner, CD, Tape1, Tape2, Phono)", source); !p.empty()) return p;
    for (char d = '0'; d <= '4' && f.source.empty(); ++d)
        if (source_name(std::string(1, d)) == source) f.source = std::string(1, d);
    if (f.source.empty())
        return "source: " + shown(o.at("source")) + " gibt es nicht (Tuner, CD, Tape1, Tape2, Phono)";
    // The tapes and the record player have no station; the editor writes "00".
    const bool has_station = f.source == "0" || f.source == "1";
    if (has_station || given(o, "station")) {
        if (std::string p = in.text("station", "zwei Ziffern als Text (00 bis 29)", f.station); !p.empty()) return p;
        const std::string& s = f.station;
        if (s.size() != 2 || s[0] < '0' || s[0] > '2' || s[1] < '0' || s[1] > '9')
            return "station: " + shown(o.at("station")) + " ist " +
                   (f.source == "1" ? "kein CD-Track" : "keine Station") + " (00 bis 29)";
    }
    if (!has_station) f.station = "00";
    std::string targets[4] = {"0", "0", "0", "0"};
    if (std::string p = in.flags("targets", kTargetNames, 4, targets); !p.empty()) return p;
    f.targets = targets[0] + targets[1] + targets[2] + targets[3];
    if (std::string p = in.clock("start", f.start); !p.empty()) return p;
    if (std::string p = in.clock("end", f.end); !p.empty()) return p;
    build_timer_record(f);
    record = f.record;
    return record_problem(record);
}

std::string checked_record(const json& o, int timer, std::string& record) {
    if (!o.is_object()) return "ein JSON-Objekt wird erwartet, nicht " + type_text(o);
    for (const auto& item : o.items()) {
        const std::string& key = item.key();
        if (key != "record" && !is_one_of(key, kFieldKeys) && !is_one_of(key, kReadOnlyKeys))
            return shown_words(key) +
                   ": unbekannter Schlüssel (erlaubt: record, kind, days, date, source, station, targets, start, end)";
    }
    if (given(o, "timer") && !(o.at("timer").is_number_integer() && o.at("timer") == timer))
        return "timer: " + shown(o.at("timer")) + " passt nicht zu Timer " + std::to_string(timer);

    std::string sent;
    if (given(o, "record")) {
        const json& v = o.at("record");
        if (!v.is_string()) return "record: Text erwartet, nicht " + type_text(v);
        if (!utf8_to_1252(v.get_ref<const std::string&>(), sent)) return "record: " + shown(v) + " ist kein Datensatz";
        if (sent.empty() && !given(o, "kind")) return "record: leer; gelöscht wird ein Timer mit einer eigenen Anfrage";
        if (!sent.empty())
            if (std::string p = record_problem(sent); !p.empty()) return "record: " + p;
    }
    if (!given(o, "kind")) {
        for (const char* key : kFieldKeys)
            if (has_value(o, key)) return std::string("kind: fehlt (") + key + " ist angegeben)";
        if (sent.empty()) return "record oder kind: fehlt";
        record = sent;
        return "";
    }
    if (std::string p = fields_record(o, timer, record); !p.empty()) return p;
    if (!sent.empty() && sent != record)
        return "record: " + shown(o.at("record")) + " passt nicht zu den übrigen Angaben, die \"" + record +
               "\" ergeben";
    return "";
}

}  // namespace

TimerRecordInput timer_record_from_object(const JsonObject& object, int timer) {
    TimerRecordInput r;
    r.problem = checked_record(object, timer, r.record);
    if (!r.problem.empty()) r.record.clear();
    return r;
}

}  // namespace zd
