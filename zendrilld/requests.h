#pragma once
#include <string>

#include "device/status_record.h"

namespace zd::daemon {

constexpr std::size_t kMaxPayloadBytes = 1024;
// Why a payload of `bytes` over kMaxPayloadBytes is refused (Windows-1252).
std::string too_long_text(std::size_t bytes);

// One command from a person, checked and ready for the line.
struct Request {
    enum class Kind { Setting, Ir, WriteTimer, EraseTimer, TestTimer, ClockSync, ClockShift, Refresh, RawSend, Loan };
    Kind kind = Kind::Refresh;
    std::string command;  // the topic below the base topic, for the result
    int setting_position = 0;  // 0 language, 1 easy function, 2 timer function, 3 power-on
    char setting_code = '0';
    bool on = false;           // IR
    bool forward = true;       // clock shift
    int timer = 0;             // 1..5
    std::string record;        // for WriteTimer
    std::string line;          // for RawSend, Windows-1252, without "\r"
};

// The settings a setting command may name: the German texts of each list.
const char* setting_name(int position);  // "Sprache" ...

// Checks a command topic (below the base topic) and its payload (UTF-8).
// Nothing invalid gets through: an unknown topic or text, a bad record,
// timer 6, a payload over 1 KiB. `message` says what is wrong (Windows-1252).
struct Parsed {
    bool ok = false;
    Request request;
    std::string message;
};
Parsed parse_request(const std::string& subtopic, const std::string& payload, bool raw_commands,
                     const ValueNames& names);

}  // namespace zd::daemon
