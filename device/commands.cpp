#include "device/commands.h"

namespace zd::cmd {

std::string status_query() { return "0X\r"; }
std::string set_settings(const std::string& settings) { return "0S" + settings + "\r"; }
std::string set_time(const std::string& hhmmss) { return "0T" + hhmmss + "\r"; }
std::string set_date(const std::string& ddmmyy) { return "0D" + ddmmyy + "\r"; }
std::string ir_on() { return "0R0\r"; }
std::string ir_off() { return "0R1\r"; }
std::string read_timer(const std::string& digit) { return "0C0" + digit + "\r"; }
std::string write_timer(const std::string& digit, const std::string& record) {
    return "0E0" + digit + record + "\r";
}
std::string erase_timer(const std::string& digit) { return "0E0" + digit + "E\r"; }
std::string test_timer(const std::string& digit, const std::string& record) {
    return "0V0" + digit + record + "\r";
}
std::string identify(int address) { return std::to_string(address) + "X\r"; }
std::string free_text(const std::string& text) { return text + "\r"; }
bool is_free_command(const std::string& text) { return text.size() >= 2 && text[0] >= '0' && text[0] <= '9'; }

}  // namespace zd::cmd
