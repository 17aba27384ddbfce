#pragma once
#include <string>

// Every command line the tool sends, built in one place. Each ends with "\r".
namespace zd::cmd {

std::string status_query();                                   // "0X\r"
std::string set_settings(const std::string& settings);        // "0S" + settings
std::string set_time(const std::string& hhmmss);              // "0T" + time
std::string set_date(const std::string& ddmmyy);              // "0D" + date
std::string ir_on();                                          // "0R0\r"
std::string ir_off();                                         // "0R1\r"
std::string read_timer(const std::string& digit);             // "0C0" + digit
std::string write_timer(const std::string& digit, const std::string& record);  // "0E0" + digit + record
std::string erase_timer(const std::string& digit);            // "0E0" + digit + "E"
std::string test_timer(const std::string& digit, const std::string& record);   // "0V0" + digit + record
std::string identify(int address);                            // address + "X\r"
std::string free_text(const std::string& text);               // text + "\r"

// A free command line: at least 2 characters, the device address digit first.
bool is_free_command(const std::string& text);
constexpr int kFreeCommandLimitMs = 2000;  // for its reply

}  // namespace zd::cmd
