#pragma once
#include "gui/state.h"

namespace zd {

// Asks for a command line, sends it and shows the answer. True when a
// command was sent (overview mode then goes off).
bool send_free_command(Context& ctx);
// Sends "0S" + quick mode, then shows the device status.
void send_quick_mode(Context& ctx);

}  // namespace zd
