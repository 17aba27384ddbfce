#include <signal.h>
#include <unistd.h>

#include "platform/posix/posix_serial_port.h"
#include "platform/stop_request.h"

namespace zd {

namespace {

volatile sig_atomic_t g_stop_requested = 0;

void note_stop(int sig) {
    if (g_stop_requested) {
        // Asked twice: the user will not wait for the exchange in flight.
        release_exclusive_line();
        _exit(128 + sig);
    }
    g_stop_requested = 1;
}

}  // namespace

void catch_stop_requests() {
    struct sigaction sa {};
    sa.sa_handler = note_stop;
    // One handler at a time: a second request must find the first one noted.
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sa.sa_mask, sig);
    // Restarted calls keep reads, sleeps and console writes unaware of the signal.
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored from the start (nohup) stays ignored.
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(sig, &sa, nullptr);
    }
}

bool stop_requested() { return g_stop_requested != 0; }

}  // namespace zd
