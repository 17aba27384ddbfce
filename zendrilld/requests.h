#pragma once
#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/backup_file.h"
#include "core/json_objects.h"
#include "core/config.h"
#include "core/setting_fields.h"
#include "device/status_record.h"

// What people ask of the device, whichever door they came through. A door
// maps its own vocabulary (a topic and payload, a method, path and body)
// onto one of the constructors below and submits what they return; every
// check and every word of refusal lives here, once.
namespace zd::daemon {

constexpr std::size_t kMaxPayloadBytes = 1024;
constexpr std::size_t kMaxWaitingRequests = 64;
// Why a payload of `bytes` over kMaxPayloadBytes is refused (Windows-1252).
std::string too_long_text(std::size_t bytes);

// What a request came to.
struct Outcome {
    enum class Kind {
        Done,
        Refused,      // the device answered BEL
        NotTaken,     // it answered, but what was read back is not what was sent
        Silent,       // no answer, a garbled one, or the line took nothing
        Unavailable,  // not sent: the port is not open, lent, the queue full, the daemon ending
    };
    Kind kind = Kind::Done;
    std::string message;  // Windows-1252
    JsonObject data = JsonObject::object();  // more for the asker: "drift_s", "reply", "lines", "ok"
    bool ok() const { return kind == Kind::Done; }
};

// What the queue does with a request while the line is lent to another
// program or the device does not answer.
enum class WhenAway {
    Wait,    // keep it until the line is back (a loan), try it (silence)
    Refuse,  // answer at once that nothing was sent
};

// When a request that ran wants its reply: as soon as its outcome is known
// (before the state it left is read back), or once the picture holds that
// state, for an answer that shows it.
enum class ReplyWhen { Known, Settled };

// Who asked may stop waiting (a time-out) and answer for itself; a request
// withdrawn before the line took it is never sent. Any thread.
class Claim {
public:
    // The line's thread, before the first byte: false when withdrawn.
    bool take_for_line() { return move(kWaiting, kOnTheLine); }
    // The asker's thread: false when the line has it already.
    bool withdraw() { return move(kWaiting, kWithdrawn); }

private:
    enum : int { kWaiting, kOnTheLine, kWithdrawn };
    bool move(int from, int to) { return state_.compare_exchange_strong(from, to); }
    std::atomic<int> state_{kWaiting};
};

// Who a request or a change came through, as the history names it.
enum class Door { Daemon, HomeAssistant, Web, Cli, Device };
// "zendrilld", "Home Assistant", "Web", "zendrill-cli", "Gerät" (Windows-1252)
const char* door_name(Door door);
std::optional<Door> door_by_name(const std::string& name_1252);

// One command from a person, checked and ready for the line.
struct Request {
    enum class Kind { Setting, Ir, WriteTimer, EraseTimer, TestTimer, ClockSync, ClockShift, Refresh, RawSend, Restore };
    Kind kind = Kind::Refresh;
    std::string command;  // how the asker named it, for the log (Windows-1252 or UTF-8 as it came)
    // Setting: the new code per position (see kSettingFields); 0 keeps the device's.
    std::array<char, 4> settings{};
    bool on = false;         // IR
    bool forward = true;     // clock shift
    int timer = 0;           // 1..5
    std::string record;      // WriteTimer
    // WriteTimer: the record the asker started from ("" empty); when the
    // device holds another by then, nothing is sent.
    std::optional<std::string> expect;
    // Setting: the four codes the asker started from; when the device holds
    // others by then, nothing is sent.
    std::optional<std::string> expect_settings;
    std::string line;        // RawSend, Windows-1252, without "\r"
    BackupEntries entries;   // Restore
    // The request's own answer: called exactly once, on the line's thread
    // once it ran (at `reply_when`) or was refused there, or on the
    // submitting thread when the queue refuses it at once. Must not block.
    std::function<void(const Outcome&)> reply;
    ReplyWhen reply_when = ReplyWhen::Known;
    std::shared_ptr<Claim> claim;  // none: the asker waits for the reply, however long
    Door asker = Door::Daemon;     // for the history, set by the door
    long long undo_of = 0;         // the history entry this request takes back
};

struct Parsed {
    bool ok = false;
    Request request;
    std::string message;  // what is wrong (Windows-1252)
};

// The constructors, one per kind. `command` names the request for the log.
Parsed refresh_request(const std::string& command);
Parsed clock_sync_request(const std::string& command);
Parsed clock_shift_request(const std::string& command, bool forward);
Parsed ir_request(const std::string& command, bool on);
// Settings by their German value names (UTF-8), at least one.
Parsed settings_request(const std::string& command, const std::map<const SettingField*, std::string>& values,
                        const ValueNames& names);
// Timer n (1..5) with a record the editor could compose; `expect`, when
// given, the record the asker saw (at most 32 printable characters).
Parsed timer_write_request(const std::string& command, int n, const std::string& record,
                           const std::optional<std::string>& expect = std::nullopt);
Parsed timer_erase_request(const std::string& command, int n);
Parsed timer_test_request(const std::string& command, int n);
// The four setting codes `settings` back, when the device still holds `expect`.
Parsed settings_undo_request(const std::string& command, const std::string& settings, const std::string& expect);
// What a backup file asked for, at least one entry.
Parsed restore_request(const std::string& command, const BackupEntries& entries);
// A free command line (UTF-8), only with raw_commands on.
Parsed raw_line_request(const std::string& command, const std::string& line_utf8, bool raw_commands);

// "1".."5" as a timer number, else 0.
int timer_number(const std::string& digit);
// Why a timer number is refused.
extern const char* const kNoSuchTimer;
// The command a result names: the topic below the base, at most 64 bytes.
std::string command_of(const std::string& subtopic);
// A value from outside in a message: Windows-1252, shortened, control bytes escaped.
std::string shown_value(const std::string& utf8);

// Checks an MQTT command topic (below the base topic) and its payload
// (UTF-8). Nothing invalid gets through: an unknown topic or text, a bad
// record, timer 6, a payload over 1 KiB, an empty payload.
Parsed parse_request(const std::string& subtopic, const std::string& payload, bool raw_commands,
                     const ValueNames& names);

// What each line of a restore does, in words, in the order restore_commands
// sends them: "Einstellungen senden: Dialogsprache Deutsch, …", "Timer 4
// löschen", "Timer 2 schreiben: <its overview entry>" (Windows-1252).
std::vector<std::string> restore_texts(const BackupEntries& entries, const std::string (&stations)[kStationCount],
                                       const ValueNames& names);

// Why a timer write was not sent: the device holds another record than the asker saw.
std::string changed_elsewhere_text(int n);
// The same for settings.
extern const char* const kSettingsChangedElsewhere;
// What a write the device did not answer may have come to.
std::string outcome_unknown_text(int n);

// Why the queue did not take a request, in the words every door shows.
enum class NotQueued { Full, Stopping, Lent, Offline, PortClosed };
std::string not_queued_text(NotQueued why, const std::string& port = "");

}  // namespace zd::daemon
