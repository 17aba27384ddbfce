#include "core/validation.h"

#include "device/clock_math.h"

namespace zd {

namespace {

bool all_flags(const std::string& s, std::size_t pos, std::size_t count) {
    for (std::size_t i = pos; i < pos + count; ++i)
        if (s[i] != '0' && s[i] != '1') return false;
    return true;
}

}  // namespace

bool is_valid_settings_string(const std::string& s) {
    static const char kHighest[4] = {'2', '2', '1', '4'};
    if (s.size() != 4) return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (s[i] < '0' || s[i] > kHighest[i]) return false;
    return true;
}

bool is_composable_record(const std::string& r) {
    std::size_t tail = 0;  // where the 19 characters from the source on begin
    if (r.size() == 27 && r[0] == 'W' && all_flags(r, 1, 7)) {
        tail = 8;
    } else if (r.size() == 26 && r[0] == 'D' && is_real_date(r.substr(1, 6))) {
        tail = 7;
    } else {
        return false;
    }
    if (r[tail] < '0' || r[tail] > '4') return false;
    const std::string station = r.substr(tail + 1, 2);
    if (station[0] < '0' || station[0] > '2' || station[1] < '0' || station[1] > '9') return false;
    return all_flags(r, tail + 3, 4) && is_real_time(r.substr(tail + 7, 6)) && is_real_time(r.substr(tail + 13, 6));
}

}  // namespace zd
