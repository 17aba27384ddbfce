#include "core/status_text.h"

#include "device/text_util.h"

namespace zd {

const std::string& StatusTexts::setting(int position) const {
    switch (position) {
        case 0: return language;
        case 1: return easy_function;
        case 2: return timer;
        default: return power_on;
    }
}

StatusTexts status_texts(const std::string& r, const ValueNames& n) {
    StatusTexts t;
    t.language = code_name(mid(r, 16, 1), n.languages);
    t.easy_function = code_name(mid(r, 17, 1), n.easy_functions);
    t.timer = n.on_off[mid(r, 18, 1) == "0" ? 0 : 1];
    t.power_on = code_name(mid(r, 19, 1), n.power_on);
    t.ir = on_off_text(mid(r, 20, 1));
    return t;
}

std::string build_status_report(const std::string& r, const ValueNames& n) {
    const StatusTexts v = status_texts(r, n);
    std::string t = "\rB203 Gerätestatus:\r\r\r";
    t += "Datum        : " + status_date_text(r) + "\r\r";
    t += "Zeit         : " + status_time_text(r) + " Uhr\r\r";
    t += "Dialogsprache: " + v.language;
    t += "\r\rEasy-Funktion: " + v.easy_function;
    t += "\r\rTimer        : " + v.timer;
    t += "\r\rEinschaltbed.: " + v.power_on;
    t += "\r\rIR-Empfänger : " + v.ir;
    return t;
}

std::string status_failure_text(const std::string& reply) {
    return "Abfrage Gerätestatus fehlgeschlagen (" + std::to_string(reply.size()) + ")";
}

}  // namespace zd
