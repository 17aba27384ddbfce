#include "gui/companion.h"

#include "core/companion_file.h"
#include "device/port_scan.h"
#include "gui/main_window.h"
#include "gui/startup.h"

namespace zd {

void export_scan_result(Context& ctx) {
    AppState& st = ctx.st;
    Ui& ui = ctx.ui;
    if (ctx.sys.file_exists(kCompanionFileName) &&
        ui.ask_yes_no("Anfrage:", "Gerätekonfiguration in Parvolet.ini eintragen ?")) {
        for (int n = 1; n <= 8; ++n)
            replace_key_lines(ctx.sys, kCompanionFileName, "IdentPort" + std::to_string(n),
                              st.port_identifiers[n]);
        replace_key_lines(ctx.sys, kCompanionFileName, "Comport", st.config.comport);
        replace_key_lines(ctx.sys, kCompanionFileName, "Portmodus", port_mode_text(st.port_flags));
    }
    // Clicks and close requests made while the scan blocked are not acted on.
    ui.drop_queued_events();
    enable_main_buttons(ctx, true);
    st.overview_mode = false;
}

void start_companion(Context& ctx) {
    close_device_link(ctx.link);
    save_configuration(ctx);
    // Only the program beside the tool, never one found on a search path.
    const std::string path = ctx.sys.full_path(kCompanionProgramName);
    if (!ctx.sys.start_program(path)) ctx.ui.show_note("Parvolet konnte nicht gestartet werden !");
}

}  // namespace zd
