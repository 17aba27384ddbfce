#include "core/validation.h"

#include "core/status_text.h"
#include "device/clock_math.h"
#include "device/status_record.h"
#include "device/text_util.h"

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

std::string status_record_problem(const std::string& reply) {
    if (!is_status_record(reply)) return status_failure_text(reply);
    if (!is_real_date(mid(reply, 4, 6))) return "Ungültiges Datum im Gerätestatus: " + status_date_text(reply);
    if (!is_real_time(mid(reply, 10, 6))) return "Ungültige Uhrzeit im Gerätestatus: " + status_time_text(reply);
    return "";
}

std::string record_problem(const std::string& record) {
    if (is_composable_record(record)) return "";
    return "kein gültiger Datensatz (W, sieben Tage 0/1 oder D und TTMMJJ, Quelle 0-4, Station 00-29, "
           "vier Ziele 0/1, Start und Ende HHMM00)";
}

std::string free_command_problem(const std::string& line) {
    if (line.size() < 2 || line[0] < '0' || line[0] > '9')
        return "Eine Befehlszeile hat mindestens 2 Zeichen und beginnt mit der Geräteadresse (0-9)";
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7F) {
            static const char* const kHex = "0123456789ABCDEF";
            return std::string("Steuerzeichen 0x") + kHex[c >> 4] + kHex[c & 15] + " an Stelle " +
                   std::to_string(i + 1);
        }
    }
    return "";
}

}  // namespace zd
