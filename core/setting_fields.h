#pragma once
#include <array>
#include <string>
#include <vector>

#include "device/status_record.h"

namespace zd {

// The four settings of the status record, in the order of its positions
// 16 to 19, with every name a door shows them by. Front ends take keys,
// topics, labels and value names from here and keep no copy.
struct SettingField {
    int position;       // 0..3 in the settings string "LETP"
    const char* key;    // in the status object and the HTTP API
    const char* topic;  // below set/ in MQTT
    const char* label;  // what a person reads (Windows-1252)
    const std::vector<std::string>& values(const ValueNames& names) const;  // the code is the entry number
};
extern const std::array<SettingField, 4> kSettingFields;

// nullptr when there is none of that name.
const SettingField* setting_by_key(const std::string& key);
const SettingField* setting_by_topic(const std::string& topic);

}  // namespace zd
