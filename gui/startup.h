#pragma once
#include <functional>
#include <memory>

#include "gui/state.h"

namespace zd {

using PortOpener = std::function<std::unique_ptr<SerialPort>(const std::string& port_name)>;

// The whole program: start-up, main loop, orderly end. Returns the exit code.
int run_zendrill(Ui& ui, System& sys, Clock& clock, const PortOpener& open_port);

// Reads Zendrill.ini into the state; false when it is missing (after the note).
bool load_configuration(Context& ctx);
// Writes Zendrill.ini with the open window's position; a note when that fails.
void save_configuration(Context& ctx);

}  // namespace zd
