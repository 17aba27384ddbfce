#pragma once
#include <string>
#include <vector>

// German texts that more than one front end shows.
namespace zd {

constexpr const char* kTimerStatusFailed = "Abfrage Timerstatus fehlgeschlagen";
// A write the device did not take within its deadline.
constexpr const char* kSendFailed = "Senden fehlgeschlagen: die Leitung nimmt nichts an (XOFF vom Gerät?)";
// A free command the device did not answer in time.
constexpr const char* kNoReply = "Rückmeldung: keine oder Timeout";
// The device refused a timer record; `line_break` is "\r" in a note and
// " " on one line.
std::string refused_text(const std::string& line_break);
// "Abfrage Speicher N fehlgeschlagen!"
std::string memory_read_failed(int timer_number);
// "HHMM" as "HH:MM".
std::string hh_mm(const std::string& hhmm);

// A pane text as the lines the pane shows: one line per "\r", the leading
// empty line left out.
std::vector<std::string> pane_lines(const std::string& pane_text);

}  // namespace zd

// What a command that reads no reply is confirmed with: the command
// without its carriage return in parentheses.
namespace zd::confirm {

inline std::string time_sent(const std::string& hhmmss) { return "Zeit gesendet (0T" + hhmmss + ")"; }
inline std::string date_sent(const std::string& ddmmyy) { return "Datum gesendet (0D" + ddmmyy + ")"; }
inline std::string settings_sent(const std::string& settings) {
    return "Einstellung gesendet (0S" + settings + ")";
}
inline std::string ir_sent(bool on) { return on ? "IR ein gesendet (0R0)" : "IR aus gesendet (0R1)"; }

}  // namespace zd::confirm
