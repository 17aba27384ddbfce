#include "screens/port_scan.h"

#include "app/main_window.h"
#include "device/commands.h"
#include "device/port_scan.h"

namespace zd {

void scan_ports(Context& ctx) {
    AppState& st = ctx.st;
    enable_main_buttons(ctx, false);
    std::string text = scan_heading();
    discard_input(ctx.link);
    for (int a = 0; a < kAddressCount; ++a) {
        set_pane(ctx, text + scan_progress(a));
        write_command(ctx.link, cmd::identify(a));
        st.last_reply = read_reply_line(ctx.link, kScanLimitMs);
        std::string name;
        if (a == 0) {
            name = "B203";
            st.port_flags[0] = 1;
        } else {
            const DeviceIdentity id = identify_code(identifier_code(st.last_reply));
            name = id.name;
            if (id.sets_flag) st.port_flags[a] = 1;
            st.port_identifiers[a] = port_identifier(st.last_reply);
        }
        text += scan_line(a, st.last_reply, name);
        set_pane(ctx, text);
    }
}

}  // namespace zd
