#pragma once
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_args.h"
#include "device/link.h"
#include "device/status_record.h"

namespace zd::cli {

// One run: the request, the open line once there is one, and the output.
struct Session {
    CliHost& host;
    const CliRequest& request;
    std::unique_ptr<SerialPort> port;
    DeviceLink link;
    WriteCheck writes;  // the link's writes that did not go out
    std::unique_ptr<LocalConnection> loan;  // held while a daemon lends us the line
    ValueNames names = make_value_names();

    // One message line (Windows-1252, user words embedded by shown()) to
    // stdout or stderr.
    void say(const std::string& line) const;
    void complain(const std::string& line) const;
    // A user's UTF-8 words inside a message, every character kept.
    std::string shown(const std::string& utf8) const;
    // A file name as the system's file functions take it; false when it
    // has characters they cannot take (Windows: outside Windows-1252).
    bool file_name(const std::string& utf8, std::string& path) const;
    // The user asked the run to stop; commands ask between exchanges.
    bool stopping() const { return host.stop_requested && host.stop_requested(); }
};

// What a run stopped before its first command says.
constexpr const char* kStoppedBeforeSending = "Abgebrochen; nichts gesendet";
// "Timer 1, Timer 3" for the restore's parts (0: "Einstellung"), "nichts" for none.
std::string part_list(const std::vector<int>& parts);

// Opens the line named by the request or the environment; an exit status
// other than kExitOk when it cannot.
int open_line(Session& s);

int run_status(Session& s);
int run_clock_sync(Session& s);
int run_clock_shift(Session& s);
int run_timers_list(Session& s);
int run_timers_export(Session& s);
int run_timers_import(Session& s);
int run_send(Session& s);
int run_scan(Session& s);
int run_settings_send(Session& s);
int run_ir(Session& s);

}  // namespace zd::cli
