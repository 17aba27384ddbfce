#pragma once
#include <array>
#include <functional>
#include <string>

#include "core/backup_file.h"
#include "core/json_objects.h"
#include "device/status_record.h"

namespace zd::daemon {

constexpr std::size_t kMaxPayloadBytes = 1024;
// Why a payload of `bytes` over kMaxPayloadBytes is refused (Windows-1252).
std::string too_long_text(std::size_t bytes);

// What a request came to, for the door that asked.
struct Outcome {
    enum class Kind {
        Done,
        Refused,      // the device answered BEL
        NotTaken,     // it answered, but what was read back is not what was sent
        Silent,       // no answer, a garbled one, or the line took nothing
        Unavailable,  // the port is not open, lent, or the daemon is ending
    };
    Kind kind = Kind::Done;
    std::string message;  // Windows-1252, as the MQTT result carries it
    JsonObject data = JsonObject::object();  // more for the door: "drift_s", "reply", "lines"
    bool ok() const { return kind == Kind::Done; }
};

// One command from a person, checked and ready for the line.
struct Request {
    enum class Kind {
        Setting, Ir, WriteTimer, EraseTimer, TestTimer, ClockSync, ClockShift, Refresh, RawSend, Restore, Loan
    };
    Kind kind = Kind::Refresh;
    std::string command;  // the topic below the base topic, or the HTTP method and path
    // Setting: the new code per position (language, easy function, timer
    // function, power-on); 0 keeps the device's.
    std::array<char, 4> settings{};
    bool on = false;           // IR
    bool forward = true;       // clock shift
    int timer = 0;             // 1..5
    std::string record;        // for WriteTimer
    std::string line;          // for RawSend, Windows-1252, without "\r"
    BackupEntries entries;     // for Restore
    bool from_mqtt = true;     // its result goes to the MQTT result topic
    // Called on the line's thread once the request has run or was refused.
    std::function<void(const Outcome&)> done;
};

struct Parsed {
    bool ok = false;
    Request request;
    std::string message;  // what is wrong (Windows-1252)
};
// A request that passed its checks.
Parsed accepted(Request r);

// The checks every door uses, so that an HTTP body and an MQTT payload end
// in the same request, or in the same words of refusal.
// A setting by its German name (UTF-8), e.g. position 0 and "Deutsch".
bool setting_code(int position, const std::string& name_utf8, const ValueNames& names, char& code,
                  std::string& problem);
// Timer n (1..5) with a record the editor could compose.
Parsed timer_write_request(const std::string& command, int n, const std::string& record);
// A free command line (UTF-8), only with raw_commands on.
Parsed raw_line_request(const std::string& command, const std::string& line_utf8, bool raw_commands);
// The command a result names: the topic below the base, at most 64 bytes.
std::string command_of(const std::string& subtopic);
// A value from outside in a message: Windows-1252, shortened, control bytes escaped.
std::string shown_value(const std::string& utf8);

// Checks a command topic (below the base topic) and its payload (UTF-8).
// Nothing invalid gets through: an unknown topic or text, a bad record,
// timer 6, a payload over 1 KiB, an empty payload.
Parsed parse_request(const std::string& subtopic, const std::string& payload, bool raw_commands,
                     const ValueNames& names);

}  // namespace zd::daemon
