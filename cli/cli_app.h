#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/io_result.h"
#include "platform/local_service.h"
#include "platform/serial_port.h"
#include "platform/system.h"

namespace zd::cli {

enum Exit {
    kExitOk = 0,
    kExitDevice = 1,  // the device did not answer as needed
    kExitUsage = 2,   // usage error or invalid input; nothing was sent
    kExitPort = 3,    // the port cannot be opened or stays busy
    kExitFile = 4,    // a local file or standard stream cannot be read or written
};

// Where the program's output goes and its input comes from: texts are
// UTF-8, bytes go out as they are. Each tells whether all of it went.
struct CliIo {
    std::function<IoResult(const std::string& utf8)> out;
    std::function<IoResult(const std::string& utf8)> err;
    std::function<IoResult(const std::string& bytes)> out_bytes;
    std::function<ReadResult(std::size_t limit)> in;  // standard input, for "-"
};

// What the program needs from its surroundings; the real ones in main, fakes in tests.
struct CliHost {
    System& sys;
    Clock& clock;
    CliIo io;
    std::function<ExclusiveOpen(const std::string& port, int wait_ms)> open_port;
    std::optional<std::string> port_variable;  // ZENDRILL_PORT
    // True once the user asked the run to stop (SIGINT, SIGTERM, SIGHUP):
    // asked between exchanges, so none is cut off half way.
    std::function<bool()> stop_requested;
    bool posix = true;                         // ports are device paths, file names are UTF-8
    // A daemon that holds the line lends it: where it listens (ZENDRILL_SOCKET,
    // else the default) and how to reach it; none on Windows.
    std::optional<std::string> socket_variable;
    std::function<std::unique_ptr<LocalConnection>(const std::string& path, int timeout_ms)> connect_service;
};

// Runs one command line (the arguments after the program name, UTF-8) and
// returns the exit status.
int run_cli(const std::vector<std::string>& args, CliHost& host);

}  // namespace zd::cli
