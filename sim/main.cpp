// b203sim: a simulated B203 and its neighbours on a pseudo terminal.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "sim/options.h"
#include "sim/sim_server.h"

int main(int argc, char** argv) {
    using namespace zd::sim;
    SimConfig config;
    std::string error;
    if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), config, error)) {
        std::fprintf(stderr, "b203sim: %s\n", error.c_str());
        return 2;
    }
    if (config.help) {
        std::fputs(help_text().c_str(), stdout);
        return 0;
    }

    // Signals are taken synchronously below; the loop thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    SimServer server(config);
    if (!server.start(error)) {
        std::fprintf(stderr, "b203sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.slave_path().c_str());
    std::fflush(stdout);

    const timespec tick{0, 100 * 1000 * 1000};
    while (server.running()) {
        const int sig = sigtimedwait(&signals, nullptr, &tick);
        if (sig == SIGTERM || sig == SIGINT) break;
        if (sig == SIGUSR1) server.request_dump();
    }
    server.stop();
    return 0;
}
