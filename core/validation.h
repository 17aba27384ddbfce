#pragma once
#include <string>

// What may be sent to the device as it stands: every front end checks its
// input with these before a byte goes on the line.
namespace zd {

// Four digits each within its list: language 0-2, easy function 0-2,
// timer 0-1, power-on condition 0-4.
bool is_valid_settings_string(const std::string& settings);

// A record the editor could compose: "W", seven flags "0"/"1", or "D" and a
// real DDMMYY date; then source "0"-"4", station "00"-"29", four target
// flags, and start and end as real HHMMSS times.
bool is_composable_record(const std::string& record);

// Empty when `reply` is a status record whose date and time are real; else
// what is wrong, in German.
std::string status_record_problem(const std::string& reply);

// Empty when `record` is composable; else what is wrong, in German.
std::string record_problem(const std::string& record);

// Empty when `line` (Windows-1252, without "\r") may go on the line as a
// free command; else what is wrong, in German.
std::string free_command_problem(const std::string& line);

}  // namespace zd
