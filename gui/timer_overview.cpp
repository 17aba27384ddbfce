#include "gui/timer_overview.h"

#include "device/timer_ops.h"
#include "gui/main_window.h"

namespace zd {

void show_timer_overview(Context& ctx) {
    AppState& st = ctx.st;
    enable_main_buttons(ctx, false);
    std::string overview;
    for (int n = 1; n <= 5; ++n) {
        st.timer_number = n;
        // The progress line stands where this timer's entry will stand.
        set_pane(ctx, overview + "\rAbfrage Timer " + std::to_string(n) + "...");
        st.last_reply = read_timer_state(ctx.link, st.timer, n).last_reply;
        overview += timer_overview_entry(n, st.timer, st.last_reply);
        set_pane(ctx, overview);
    }
    // Clicks made while the buttons were disabled must not open anything.
    ctx.ui.drop_queued_events();
    enable_main_buttons(ctx, true);
}

}  // namespace zd
