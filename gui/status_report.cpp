#include "gui/status_report.h"

#include "gui/main_window.h"

namespace zd {

void show_device_status(Context& ctx) {
    ctx.st.last_reply = query_status(ctx.link, [&] { set_pane(ctx, "\rAbfrage Gerätestatus..."); });
    const std::string& reply = ctx.st.last_reply;
    if (!is_status_record(reply)) {
        set_pane(ctx, "\r" + status_failure_text(reply));
        return;
    }
    ctx.st.settings_string = status_settings(reply);
    set_pane(ctx, build_status_report(reply, ctx.st.names));
}

}  // namespace zd
