#include <windows.h>

#include "gui/startup.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_ui.h"

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
    // The command line is not used.
    zd::Win32Ui ui(inst);
    zd::Win32Clock clock;
    return zd::run_zendrill(ui, zd::host_system(), clock,
                            [](const std::string& name) { return zd::open_serial_port(name); });
}
