// zendrill-cli: the B203 from scripts and schedulers.
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "platform/console.h"
#include "platform/stop_request.h"

int main(int argc, char** argv) {
    // Before anything is opened, so no file or port becomes stdout.
    zd::guard_standard_streams();
    // A signal ends the run between two exchanges, never in the middle of one.
    zd::catch_stop_requests();
    const std::vector<std::string> args = zd::utf8_arguments(argc, argv);
    zd::cli::CliIo io{[](const std::string& t) { return zd::write_console_text(zd::ConsoleStream::Out, t); },
                      [](const std::string& t) { return zd::write_console_text(zd::ConsoleStream::Err, t); },
                      [](const std::string& b) { return zd::write_console_bytes(b); },
                      [](std::size_t limit) { return zd::read_console_input(limit); }};
    zd::cli::CliHost host{zd::host_system(), zd::sleeping_clock(), io, zd::open_serial_port_exclusive, {}, {}, true, {}, {}};
#ifdef _WIN32
    host.posix = false;
#endif
    if (const char* port = std::getenv("ZENDRILL_PORT")) host.port_variable = port;
    if (const char* socket = std::getenv("ZENDRILL_SOCKET")) host.socket_variable = socket;
    host.connect_service = zd::connect_local_service;
    host.stop_requested = [] { return zd::stop_requested(); };
    return zd::cli::run_cli(args, host);
}
