#include "gui/port_scan.h"

#include "core/scan_text.h"
#include "device/port_scan.h"
#include "gui/main_window.h"

namespace zd {

void scan_ports(Context& ctx) {
    AppState& st = ctx.st;
    enable_main_buttons(ctx, false);
    std::string text = scan_heading();
    scan_addresses(
        ctx.link, [&](int a) { set_pane(ctx, text + scan_progress(a)); },
        [&](const ScanEntry& e) {
            st.last_reply = e.reply;
            if (e.identity.sets_flag) st.port_flags[e.address] = 1;
            if (e.address > 0) st.port_identifiers[e.address] = e.identifier;
            text += scan_line(e.address, e.reply, e.identity.name);
            set_pane(ctx, text);
        });
}

}  // namespace zd
