#include "core/json_objects.h"

#include "core/setting_fields.h"
#include "core/status_text.h"
#include "core/texts.h"
#include "core/timer_text.h"
#include "core/utf8.h"
#include "device/text_util.h"

namespace zd {

namespace {

using json = JsonObject;

json text(const std::string& cp1252) { return utf8_from_1252(cp1252); }

// "20YY-MM-DD" from DDMMYY.
std::string iso_date(const std::string& ddmmyy) {
    return "20" + mid(ddmmyy, 5, 2) + "-" + mid(ddmmyy, 3, 2) + "-" + mid(ddmmyy, 1, 2);
}

std::string dumped(const json& j) {
    // Bytes that are not UTF-8 cannot occur: every text went through the conversion.
    return j.dump(2) + "\n";
}

// One element per item, in order; empty items give an empty list.
template <class Item, class Element>
json list_of(const std::vector<Item>& items, Element element) {
    json list = json::array();
    for (const Item& item : items) list.push_back(element(item));
    return list;
}

const char* state_name(TimerState s) {
    switch (s) {
        case TimerState::Set: return "set";
        case TimerState::Empty: return "empty";
        case TimerState::Failed: break;
    }
    return "failed";
}

}  // namespace

JsonObject status_object(const std::string& r, const ValueNames& names) {
    const StatusTexts t = status_texts(r, names);
    json j;
    j["record"] = text(r);
    j["date"] = text(iso_date(mid(r, 4, 6)));
    j["time"] = text(status_time_text(r));
    for (const SettingField& f : kSettingFields) j[f.key] = text(t.setting(f.position));
    j["ir"] = text(t.ir);
    j["settings"] = text(status_settings(r));
    return j;
}

JsonObject timer_object(const ListedTimer& t) {
    json j;
    j["timer"] = t.timer;
    j["state"] = state_name(t.reading.state);
    j["record"] = text(t.reading.record);
    const bool set = t.reading.state == TimerState::Set;
    const TimerFields& f = t.fields;
    const bool by_date = set && f.kind == "D";
    json days = json::array();
    if (set && !by_date)
        for (int d = 0; d < 7; ++d)
            if (f.days[d] == "1") days.push_back(text(kDayNames[d]));
    json targets = json::array();
    if (set)
        for (const std::string& name : target_names(f.targets)) targets.push_back(text(name));
    const auto when_set = [&](const std::string& value) { return set ? text(value) : json(nullptr); };
    j["kind"] = set ? json(by_date ? "date" : "weekday") : json(nullptr);
    j["days"] = days;
    j["date"] = by_date ? text(iso_date(f.date)) : json(nullptr);
    j["source"] = when_set(source_name(f.source));
    j["station"] = when_set(f.station);
    j["targets"] = targets;
    j["start"] = when_set(hh_mm(f.start));
    j["end"] = when_set(hh_mm(f.end));
    return j;
}

JsonObject schedule_object(const std::vector<ScheduleEntry>& entries) {
    json j;
    j["entries"] = list_of(entries, [](const ScheduleEntry& e) {
        return json{{"timer", e.timer}, {"start", iso_minute(e.start)}, {"end", iso_minute(e.end)},
                    {"summary", text(e.summary)}};
    });
    return j;
}

JsonObject utf8_list(const std::vector<std::string>& texts) {
    return list_of(texts, text);
}

std::string status_json(const std::string& r, const ValueNames& names) { return dumped(status_object(r, names)); }

std::string timers_json(const std::vector<ListedTimer>& timers) {
    return dumped(list_of(timers, timer_object));
}

std::string scan_json(const std::vector<ScanEntry>& entries) {
    return dumped(list_of(entries, [](const ScanEntry& e) {
        return json{{"address", e.address}, {"reply", text(e.reply)}, {"identifier", text(e.identifier)},
                    {"name", text(e.identity.name)}};
    }));
}

}  // namespace zd
