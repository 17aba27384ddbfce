// zendrill-cli: the B203 from scripts and schedulers.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_app.h"
#include "cli/console_out.h"

namespace {

class SleepClock : public zd::Clock {
public:
    void pause_ms(int ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = zd::cli::utf8_arguments(argc, argv);
    SleepClock clock;
    zd::cli::CliHost host{zd::host_system(), clock, zd::cli::console_io(), zd::open_serial_port_exclusive, {}, true};
#ifdef _WIN32
    host.posix = false;
#endif
    if (const char* port = std::getenv("ZENDRILL_PORT")) host.port_variable = port;
    return zd::cli::run_cli(args, host);
}
