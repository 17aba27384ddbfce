#pragma once
#include <string>

#include "device/status_record.h"

namespace zd {

// The German report of a 20-character status record, lines separated by "\r".
std::string build_status_report(const std::string& record, const ValueNames& names);

// The value texts the report shows for a record ("" where it shows none).
struct StatusTexts {
    std::string language;
    std::string easy_function;
    std::string timer;
    std::string power_on;
    std::string ir;
    const std::string& setting(int position) const;  // 0..3 as in kSettingFields
};
StatusTexts status_texts(const std::string& record, const ValueNames& names);

// "\rAbfrage Gerätestatus fehlgeschlagen (N)" without its leading "\r".
std::string status_failure_text(const std::string& reply);

}  // namespace zd
