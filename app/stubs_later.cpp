// Screens still to come; each file replaces its stub here when it lands.
#include "app/companion.h"
#include "screens/port_scan.h"
#include "screens/settings_window.h"
#include "screens/timer_editor.h"
#include "screens/timer_overview.h"

namespace zd {

void run_timer_editor(Context&) {}
void show_timer_overview(Context&) {}
void run_settings_window(Context&) {}
void scan_ports(Context&) {}
void export_scan_result(Context&) {}
void start_companion(Context&) {}

}  // namespace zd
