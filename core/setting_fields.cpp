#include "core/setting_fields.h"

namespace zd {

// The topic of the timer function predates its status key; owners'
// automations use both, so both stay.
const std::array<SettingField, 4> kSettingFields = {{
    {0, "language", "language", "Dialogsprache"},
    {1, "easy_function", "easy_function", "Easy-Funktion"},
    {2, "timer", "timer_function", "Timer-Funktion"},
    {3, "power_on", "power_on", "Einschaltbedingung"},
}};

const std::vector<std::string>& SettingField::values(const ValueNames& n) const {
    switch (position) {
        case 0: return n.languages;
        case 1: return n.easy_functions;
        case 2: return n.on_off;
        default: return n.power_on;
    }
}

const SettingField* setting_by_key(const std::string& key) {
    for (const SettingField& f : kSettingFields)
        if (key == f.key) return &f;
    return nullptr;
}

const SettingField* setting_by_topic(const std::string& topic) {
    for (const SettingField& f : kSettingFields)
        if (topic == f.topic) return &f;
    return nullptr;
}

}  // namespace zd
