#include "core/texts.h"

#include "device/text_util.h"

namespace zd {

std::string refused_text(const std::string& line_break) {
    return "Die Daten wurden vom Controller" + line_break + "mit einer Fehlermeldung quittiert !";
}

std::string memory_read_failed(int timer_number) {
    return "Abfrage Speicher " + std::to_string(timer_number) + " fehlgeschlagen!";
}

std::string hh_mm(const std::string& hhmm) { return mid(hhmm, 1, 2) + ":" + mid(hhmm, 3, 2); }

std::vector<std::string> pane_lines(const std::string& pane_text) {
    std::vector<std::string> lines;
    std::size_t start = !pane_text.empty() && pane_text[0] == '\r' ? 1 : 0;
    for (;;) {
        const std::size_t cr = pane_text.find('\r', start);
        if (cr == std::string::npos) {
            lines.push_back(pane_text.substr(start));
            return lines;
        }
        lines.push_back(pane_text.substr(start, cr - start));
        start = cr + 1;
    }
}

}  // namespace zd
