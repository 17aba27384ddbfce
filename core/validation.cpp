#include "core/validation.h"

#include "core/status_text.h"
#include "device/clock_math.h"
#include "device/commands.h"
#include "device/status_record.h"
#include "device/text_util.h"
#include "device/timer_record.h"

namespace zd {

namespace {

// C0 controls, DEL, and the five bytes Windows-1252 leaves unassigned:
// those stand for the C1 controls U+0081, U+008D, U+008F, U+0090, U+009D.
bool is_c1(unsigned char u) { return u == 0x81 || u == 0x8D || u == 0x8F || u == 0x90 || u == 0x9D; }

bool is_control(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || is_c1(u);
}

std::string hex_byte(char c) {
    static const char kDigits[] = "0123456789ABCDEF";
    const auto u = static_cast<unsigned char>(c);
    return std::string("0x") + kDigits[u >> 4] + kDigits[u & 0x0F];
}

const char* control_name(char c) {
    static const char* const kNames[32] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "TAB", "LF",  "VT",  "FF",  "CR",   "SO",  "SI",
        "DLE", "XON", "DC2", "XOFF", "DC4", "NAK", "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
    };
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 ? kNames[u] : u == 0x7F ? "DEL" : "C1";
}

// What a field held, in quotes, so that blanks and empty fields show.
std::string quoted(const std::string& text) { return "\"" + shown_text(text) + "\""; }

// The first character of `r` from `pos` on (0-based) that is no flag, as
// its 1-based position, or 0.
std::size_t bad_flag(const std::string& r, std::size_t pos, std::size_t count) {
    for (std::size_t i = pos; i < pos + count; ++i)
        if (r[i] != '0' && r[i] != '1') return i + 1;
    return 0;
}

// HHMMSS of a record: hour and minute real, seconds "00" as the editor writes them.
std::string clock_problem(const std::string& hhmmss, const char* which) {
    const std::string shown = hhmmss.substr(0, 2) + ":" + hhmmss.substr(2, 2);
    if (!is_real_time(hhmmss.substr(0, 4) + "00")) return std::string(which) + " " + quoted(shown) + " gibt es nicht";
    if (hhmmss.substr(4, 2) != "00") return std::string("Sekunden der ") + which + " müssen 00 sein";
    return "";
}

}  // namespace

std::string shown_byte(char c) {
    if (!is_control(c)) return std::string(1, c);
    return hex_byte(c) + " (" + control_name(c) + ")";
}

std::string shown_text(const std::string& text, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == limit) return out + "...";
        out += is_control(text[i]) ? "<" + hex_byte(text[i]) + ">" : std::string(1, text[i]);
    }
    return out;
}

bool is_valid_settings_string(const std::string& s) { return settings_problem(s).empty(); }

std::string settings_problem(const std::string& s) {
    static const char kHighest[4] = {'2', '2', '1', '4'};
    static const char* const kNames[4] = {"Sprache", "Easy-Funktion", "Timer", "Einschaltbed."};
    if (s.size() != 4)
        return "vier Ziffern erwartet (Sprache 0-2, Easy-Funktion 0-2, Timer 0-1, Einschaltbed. 0-4), gelesen " +
               quoted(s);
    for (std::size_t i = 0; i < 4; ++i)
        if (s[i] < '0' || s[i] > kHighest[i])
            return std::string(kNames[i]) + " " + quoted(s.substr(i, 1)) + " gibt es nicht (0-" + kHighest[i] + ")";
    return "";
}

bool is_composable_record(const std::string& r) { return record_problem(r).empty(); }

#define ZD_HHMM00 "([01][0-9]|2[0-3])[0-5][0-9]00"
#define ZD_TAIL "[0-4][0-2][0-9][01]{4}" ZD_HHMM00 ZD_HHMM00
// Day and month as the calendar has them; 29 February in the years 2000 to
// 2099 that have it.
#define ZD_DDMMYY                                                                                       \
    "((0[1-9]|1[0-9]|2[0-8])(0[1-9]|1[0-2])[0-9]{2}|(29|30)(0[13-9]|1[0-2])[0-9]{2}|31(0[13578]|1[02])[0-9]{2}" \
    "|2902([02468][048]|[13579][26]))"
const char* const kRecordPattern = "(W[01]{7}" ZD_TAIL "|D" ZD_DDMMYY ZD_TAIL ")";
#undef ZD_HHMM00
#undef ZD_TAIL
#undef ZD_DDMMYY

std::string record_problem(const std::string& r) {
    if (r.empty()) return "leer";
    std::size_t tail = 0;  // where the 19 characters from the source on begin
    if (r[0] == 'W') {
        if (r.size() != 27) return "ein Wochentag-Datensatz hat 27 Zeichen, dieser " + std::to_string(r.size());
        if (const std::size_t at = bad_flag(r, 1, 7))
            return std::string("Tag ") + kDayNames[at - 2] + " an Stelle " + std::to_string(at) + " ist weder 0 noch 1";
        tail = 8;
    } else if (r[0] == 'D') {
        if (r.size() != 26) return "ein Datums-Datensatz hat 26 Zeichen, dieser " + std::to_string(r.size());
        if (!is_real_date(r.substr(1, 6))) return "Datum " + quoted(r.substr(1, 6)) + " gibt es nicht";
        tail = 7;
    } else {
        return "beginnt weder mit W (Wochentage) noch mit D (Datum)";
    }
    if (r[tail] < '0' || r[tail] > '4') return "Quelle " + quoted(r.substr(tail, 1)) + " gibt es nicht (0-4)";
    const std::string station = r.substr(tail + 1, 2);
    if (station[0] < '0' || station[0] > '2' || station[1] < '0' || station[1] > '9')
        return "Station " + quoted(station) + " gibt es nicht (00-29)";
    if (const std::size_t at = bad_flag(r, tail + 3, 4))
        return std::string("Ziel ") + kTargetNames[at - tail - 4] + " an Stelle " + std::to_string(at) +
               " ist weder 0 noch 1";
    const std::string start = clock_problem(r.substr(tail + 7, 6), "Startzeit");
    if (!start.empty()) return start;
    return clock_problem(r.substr(tail + 13, 6), "Endzeit");
}

std::string status_record_problem(const std::string& reply) {
    if (!is_status_record(reply)) return status_failure_text(reply);
    const std::string date = mid(reply, 4, 6), time = mid(reply, 10, 6);
    std::string wrong;
    if (!is_real_date(date)) wrong = "ungültiges Datum " + quoted(date);
    if (!is_real_time(time)) wrong += (wrong.empty() ? "" : ", ") + std::string("ungültige Uhrzeit ") + quoted(time);
    if (wrong.empty()) return "";
    return "Abfrage Gerätestatus fehlgeschlagen: " + wrong;
}

std::string free_command_problem(const std::string& line) {
    if (!cmd::is_free_command(line))
        return "Eine Befehlszeile hat mindestens 2 Zeichen und beginnt mit der Geräteadresse (0-9)";
    for (std::size_t i = 0; i < line.size(); ++i)
        if (is_control(line[i])) return "Steuerzeichen " + shown_byte(line[i]) + " an Stelle " + std::to_string(i + 1);
    // Every command of the device is a few dozen characters; a huge line
    // would hold the line for minutes at 1200 baud.
    if (line.size() > kMaxFreeCommandLength)
        return "Befehlszeile zu lang (" + std::to_string(line.size()) + " Zeichen, höchstens " +
               std::to_string(kMaxFreeCommandLength) + ")";
    return "";
}

}  // namespace zd
