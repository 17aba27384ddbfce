#pragma once
#include <functional>
#include <string>
#include <vector>

#include "device/link.h"

namespace zd {

// The fixed German texts for the setting codes; the code is the entry number.
struct ValueNames {
    std::vector<std::string> languages;
    std::vector<std::string> easy_functions;
    std::vector<std::string> on_off;
    std::vector<std::string> power_on;
};
ValueNames make_value_names();

constexpr int kStatusRecordLength = 20;
constexpr int kStatusLimitMs = 4000;

// discard input, progress, "0X\r", one reply line within 4000 ms.
std::string query_status(DeviceLink& link, const std::function<void()>& show_progress);
bool is_status_record(const std::string& reply);

std::string status_date_text(const std::string& record);     // DD.MM.20YY
std::string status_time_text(const std::string& record);     // HH:MM:SS
std::string status_settings(const std::string& record);      // positions 16-19
// Entry of `names` selected by the leading number of `code`; empty when out of range.
std::string code_name(const std::string& code, const std::vector<std::string>& names);
// Index selected by the leading number of `code`, -1 when out of range.
int code_index(const std::string& code, std::size_t count);
// "ein" for the text "0", "aus" for anything else.
std::string on_off_text(const std::string& code);

}  // namespace zd
