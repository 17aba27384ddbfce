#pragma once
#include <string>

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
