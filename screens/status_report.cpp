#include "screens/status_report.h"

#include "app/main_window.h"
#include "device/text_util.h"

namespace zd {

std::string build_status_report(const std::string& r, const ValueNames& n) {
    std::string t = "\rB203 Gerätestatus:\r\r\r";
    t += "Datum        : " + status_date_text(r) + "\r\r";
    t += "Zeit         : " + status_time_text(r) + " Uhr\r\r";
    t += "Dialogsprache: " + code_name(mid(r, 16, 1), n.languages);
    t += "\r\rEasy-Funktion: " + code_name(mid(r, 17, 1), n.easy_functions);
    t += "\r\rTimer        : " + n.on_off[mid(r, 18, 1) == "0" ? 0 : 1];
    t += "\r\rEinschaltbed.: " + code_name(mid(r, 19, 1), n.power_on);
    t += "\r\rIR-Empfänger : " + on_off_text(mid(r, 20, 1));
    return t;
}

void show_device_status(Context& ctx) {
    ctx.st.last_reply = query_status(ctx.link, [&] { set_pane(ctx, "\rAbfrage Gerätestatus..."); });
    const std::string& reply = ctx.st.last_reply;
    if (!is_status_record(reply)) {
        set_pane(ctx, "\rAbfrage Gerätestatus fehlgeschlagen (" + std::to_string(reply.size()) + ")");
        return;
    }
    ctx.st.settings_string = status_settings(reply);
    set_pane(ctx, build_status_report(reply, ctx.st.names));
}

}  // namespace zd
