#include "gui/startup.h"

#include "core/config.h"
#include "core/ini.h"
#include "device/clock_math.h"
#include "gui/main_window.h"
#include "gui/status_report.h"
#include "platform/port_name.h"

namespace zd {

bool load_configuration(Context& ctx) {
    const auto text = ctx.sys.read_file(kConfigFileName, kIniFileLimit).content;
    if (!text) {
        ctx.ui.show_note("Zendrill.ini nicht gefunden");
        return false;
    }
    AppState& st = ctx.st;
    st.config = parse_configuration(*text);
    st.win_x = st.config.win_x;
    st.win_y = st.config.win_y;
    st.names = make_value_names();
    const LocalTime now = ctx.sys.local_time();
    st.today = date_ddmmyy(now.day, now.month, now.year);
    st.timer.date = st.today;
    return true;
}

void save_configuration(Context& ctx) {
    int x = ctx.st.win_x, y = ctx.st.win_y;
    ctx.ui.window_position(x, y);
    if (!ctx.sys.replace_file(kConfigFileName, format_configuration(ctx.st.config, x, y)))
        ctx.ui.show_note("Zendrill.ini konnte nicht gespeichert werden !");
}

int run_zendrill(Ui& ui, System& sys, Clock& clock, const PortOpener& open_port) {
    AppState st;
    DeviceLink link;
    link.clock = &clock;
    Context ctx{ui, link, sys, clock, st};

    if (!load_configuration(ctx)) return 1;

    std::unique_ptr<SerialPort> port;
    if (is_valid_port_name(st.config.comport)) port = open_port(st.config.comport);
    if (!port) {
        ui.show_note("Konnte " + st.config.comport + "\rnicht öffnen !");
        return 1;
    }
    link.port = port.get();

    build_main_window(ctx);
    show_device_status(ctx);
    if (!is_status_record(st.last_reply)) show_device_status(ctx);

    while (handle_main_event(ctx, ui.wait_event())) {
    }
    return 0;
}

}  // namespace zd
