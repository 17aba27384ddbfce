#pragma once
#include <string>

// What may be sent to the device as it stands, and what a reply must hold
// to be believed: every front end checks with these before a byte goes on
// the line. The *_problem functions return "" when all is well, else a
// German text saying what is wrong.
namespace zd {

// Four digits each within its list: language 0-2, easy function 0-2,
// timer 0-1, power-on condition 0-4.
bool is_valid_settings_string(const std::string& settings);
// Why a settings string is not valid, e.g. "Sprache 3 gibt es nicht (0-2)".
std::string settings_problem(const std::string& settings);

// A record the editor could compose: "W", seven flags "0"/"1", or "D" and a
// real DDMMYY date; then source "0"-"4", station "00"-"29", four target
// flags, and start and end as real HHMMSS times whose seconds are "00".
bool is_composable_record(const std::string& record);
// Why a record is not composable, e.g. "Sekunden der Startzeit müssen 00 sein".
std::string record_problem(const std::string& record);
// The records record_problem accepts, as a regular expression without
// anchors, for form fields that check before they send.
extern const char* const kRecordPattern;

// Empty when `reply` is a status record (20 characters) whose date (DDMMYY at
// positions 4-9, year 20YY) and time (HHMMSS at 10-15) are real; else a
// German message saying what is wrong: "Abfrage Gerätestatus fehlgeschlagen
// (N)" for a wrong length, or one naming the bad date or time as the device
// sent it.
std::string status_record_problem(const std::string& reply);

// Empty when a free command line (Windows-1252) may be sent: at least 2
// characters, the address digit first, no byte below 0x20 and no 0x7F, at
// most kMaxFreeCommandLength characters; else
// the message, e.g. "Steuerzeichen 0x13 (XOFF) an Stelle 3".
std::string free_command_problem(const std::string& line_1252);
constexpr std::size_t kMaxFreeCommandLength = 255;

// A byte as a message shows it: itself when printable, else "0x13 (XOFF)".
std::string shown_byte(char c);
// A text from outside as a message shows it: control bytes as "<0x13>",
// cut after `limit` characters with "...".
std::string shown_text(const std::string& text, std::size_t limit = 40);

}  // namespace zd
