#pragma once
#include <optional>
#include <string>

namespace zd::cli {

// Where the port comes from, first match wins: --port, the environment
// variable ZENDRILL_PORT, Comport of Zendrill.ini in the current folder.
struct PortSources {
    std::optional<std::string> option;
    std::optional<std::string> environment;
    std::optional<std::string> ini_text;  // Zendrill.ini's content, when there is one
};

struct PortChoice {
    std::string port;   // POSIX: a device path; Windows: a port name with its colon
    std::string error;  // set when no usable port was named (a usage error); a message line
};

// `posix`: ports are device paths; otherwise Windows port names ("COM3",
// "Com3:").
PortChoice choose_port(const PortSources& sources, bool posix);

}  // namespace zd::cli
