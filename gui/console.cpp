#include "gui/console.h"

#include "core/texts.h"
#include "device/commands.h"
#include "gui/main_window.h"
#include "gui/status_report.h"

namespace zd {

bool send_free_command(Context& ctx) {
    const std::string text = ctx.ui.ask_text("Zendrill", "Bitte den String eingeben:", "").value_or("");
    if (!cmd::is_free_command(text)) return false;
    write_command(ctx.link, cmd::free_text(text));
    set_pane(ctx, "\rWarte auf evtl. Rückmeldung...");
    ctx.st.last_reply = read_reply_line(ctx.link, cmd::kFreeCommandLimitMs);
    if (ctx.st.last_reply.empty())
        set_pane(ctx, std::string("\r") + kNoReply);
    else
        set_pane(ctx, "\rRückmeldung:" + ctx.st.last_reply);
    ctx.st.overview_mode = false;
    return true;
}

void send_quick_mode(Context& ctx) {
    write_command(ctx.link, cmd::set_settings(ctx.st.config.quick_mode));
    show_device_status(ctx);
    ctx.st.overview_mode = false;
}

}  // namespace zd
