#include "cli/cli_app.h"

#include "cli/cli_session.h"
#include "core/line_loan.h"
#include "cli/port_choice.h"
#include "core/config.h"
#include "core/timer_backup.h"
#include "core/ini.h"
#include "core/texts.h"
#include "core/utf8.h"

namespace zd::cli {

void Session::say(const std::string& line) const { host.io.out(message_utf8(line) + "\n"); }
void Session::complain(const std::string& line) const { host.io.err(message_utf8(line) + "\n"); }

std::string Session::shown(const std::string& utf8) const { return embed_utf8(utf8); }

bool Session::file_name(const std::string& utf8, std::string& path) const {
    if (host.posix) {
        path = utf8;
        return true;
    }
    return utf8_to_1252(utf8, path);
}

namespace {

// A daemon that holds the port lends it for the run; without one nothing
// changes. The loan ends when the connection closes, however the run ends.
int borrow_from_daemon(Session& s, const std::string& port) {
    if (!s.host.connect_service) return kExitOk;
    const std::string path =
        s.host.socket_variable && !s.host.socket_variable->empty() ? *s.host.socket_variable : loan::kDefaultSocket;
    auto connection = s.host.connect_service(path, 1000);
    if (!connection) return kExitOk;
    std::string answer, detail;
    // A daemon that refuses at once may close before it reads the request:
    // the send fails, but its answer is there to read without a wait.
    const bool sent = connection->send_line(loan::request_line(port));
    switch (connection->read_line(sent ? s.request.wait_s * 1000 : 0, loan::kMaxLine, answer)) {
        case LineRead::Line: break;
        case LineRead::TimedOut:
            s.complain("zendrilld hat den Port " + s.shown(port) + " nicht freigegeben (" +
                       std::to_string(s.request.wait_s) + " s gewartet)");
            return kExitPort;
        case LineRead::Ended:
            s.complain("zendrilld hat den Port " + s.shown(port) +
                       " nicht freigegeben: die Verbindung endete ohne Antwort");
            return kExitPort;
        case LineRead::TooLong: answer.clear(); break;  // garbled
    }
    switch (loan::parse_answer(answer, detail)) {
        case loan::Answer::Lent:
            s.loan = std::move(connection);
            return kExitOk;
        case loan::Answer::Other:
            return kExitOk;  // the daemon holds another line
        case loan::Answer::Refused:
            s.complain("zendrilld verleiht den Port nicht: " + s.shown(detail));
            return kExitPort;
        case loan::Answer::Garbled:
            break;
    }
    s.complain("Unverständliche Antwort von zendrilld an " + s.shown(path));
    return kExitPort;
}

}  // namespace

int open_line(Session& s) {
    PortSources sources;
    sources.option = s.request.port;
    sources.environment = s.host.port_variable;
    sources.ini_text = s.host.sys.read_file(kConfigFileName, kIniFileLimit).content;
    const PortChoice choice = choose_port(sources, s.host.posix);
    if (!choice.error.empty()) {
        s.complain(choice.error);
        return kExitUsage;
    }
    if (int e = borrow_from_daemon(s, choice.port)) return e;
    ExclusiveOpen opened = s.host.open_port(choice.port, s.request.wait_s * 1000);
    if (s.stopping()) {  // also ends the wait for a busy port
        s.complain(kStoppedBeforeSending);
        return kExitDevice;
    }
    const std::string port = s.shown(choice.port);
    if (opened.result == ExclusiveOpen::Result::Busy) {
        s.complain("Port " + port + " ist belegt (" + std::to_string(s.request.wait_s) + " s gewartet)");
        return kExitPort;
    }
    if (opened.result != ExclusiveOpen::Result::Opened || !opened.port) {
        s.complain("Konnte " + port + " nicht öffnen !" + (opened.reason.empty() ? "" : " (" + opened.reason + ")"));
        return kExitPort;
    }
    s.port = std::move(opened.port);
    s.link = DeviceLink{s.port.get(), &s.host.clock};
    s.link.writes = &s.writes;
    // A late answer to an earlier run must not pass for this run's reply.
    discard_until_quiet(s.link);
    if (s.stopping()) {
        s.complain(kStoppedBeforeSending);
        return kExitDevice;
    }
    return kExitOk;
}

std::string part_list(const std::vector<int>& parts) {
    std::string list;
    for (int part : parts) list += (list.empty() ? "" : ", ") + restore_part_name(part);
    return list.empty() ? "nichts" : list;
}

namespace {

// Writes that did not arrive are noted, whichever command made them.
std::function<IoResult(const std::string&)> watched(const std::function<IoResult(const std::string&)>& write,
                                                    std::string& first_error) {
    return [write, &first_error](const std::string& text) {
        IoResult r = write(text);
        if (!r && first_error.empty()) first_error = r.error.empty() ? "unvollständig" : r.error;
        return r;
    };
}

int run_request(const std::vector<std::string>& args, CliHost& host) {
    CliRequest request;
    std::string error;
    Session s{host, request, nullptr, {}, {}, nullptr};
    if (!parse_arguments(args, request, error)) {
        s.complain(error);
        s.complain("Hilfe: zendrill-cli --help");
        return kExitUsage;
    }
    if (request.help) {
        host.io.out(utf8_from_1252(help_text()));
        return kExitOk;
    }
    if (request.version) {
        host.io.out(version_text());
        return kExitOk;
    }
    int status = kExitUsage;
    switch (request.command) {
        case Command::Status: status = run_status(s); break;
        case Command::ClockSync: status = run_clock_sync(s); break;
        case Command::ClockShift: status = run_clock_shift(s); break;
        case Command::TimersList: status = run_timers_list(s); break;
        case Command::TimersExport: status = run_timers_export(s); break;
        case Command::TimersImport: status = run_timers_import(s); break;
        case Command::Send: status = run_send(s); break;
        case Command::Scan: status = run_scan(s); break;
        case Command::SettingsSend: status = run_settings_send(s); break;
        case Command::Ir: status = run_ir(s); break;
        case Command::None: break;
    }
    // A line that took no command is the run's failure whatever was read.
    if (s.writes.failed > 0) {
        s.complain(kSendFailed);
        if (status == kExitOk) status = kExitDevice;
    }
    close_device_link(s.link);
    s.loan.reset();  // only now may the daemon take the line back
    return status;
}

}  // namespace

int run_cli(const std::vector<std::string>& args, CliHost& outside) {
    // Output that did not arrive is no success: a cron job would lose it.
    std::string out_error;
    CliHost host = outside;
    host.io.out = watched(outside.io.out, out_error);
    host.io.out_bytes = watched(outside.io.out_bytes, out_error);
    const int status = run_request(args, host);
    if (out_error.empty() || status != kExitOk) return status;
    host.io.err(message_utf8("Die Standardausgabe konnte nicht geschrieben werden: " + out_error) + "\n");
    return kExitFile;
}

}  // namespace zd::cli
