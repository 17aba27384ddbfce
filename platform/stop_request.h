#pragma once

namespace zd {

// An orderly stop for console programs. Once catch_stop_requests() ran,
// SIGINT, SIGTERM and SIGHUP (Windows: Ctrl+C and Ctrl+Break) only note the
// request, and the program asks stop_requested() between exchanges, so no
// exchange is cut off half way. A second request ends the program at once,
// releasing an exclusively held line as closing it would. Waits for a busy
// line (open_serial_port_exclusive) end early on a request.
void catch_stop_requests();
bool stop_requested();

}  // namespace zd
