#include "screens/timer_overview.h"

#include "app/main_window.h"
#include "device/text_util.h"

namespace zd {

namespace {

std::string source_text(const TimerFields& f) {
    if (f.source == "0") return "Tuner " + f.station;
    if (f.source == "1") return "CD " + f.station;
    if (f.source == "2") return "Tape1";
    if (f.source == "3") return "Tape2";
    if (f.source == "4") return "Phono";
    return "";
}

std::string targets_text(const std::string& targets) {
    static const char* const kNames[4] = {"Tape1 ", "Tape2 ", "LS-A ", "LS-B "};
    std::string text;
    for (std::size_t i = 0; i < 4; ++i)
        if (mid(targets, i + 1, 1) == "1") text += kNames[i];
    return text;
}

}  // namespace

std::string timer_overview_entry(int timer_number, const TimerFields& f, const std::string& reply) {
    const std::string n = std::to_string(timer_number);
    if (reply.empty()) return "\rAbfrage Speicher " + n + " fehlgeschlagen!\r\r\r\r";
    if (reply.back() == 'E') return "\rTimer " + n + " ist leer!\r\r\r\r";

    std::string entry = "\rNR." + mid(reply, 5, 1);
    if (f.kind == "D")
        entry += "  Datum: " + mid(f.date, 1, 2) + "." + mid(f.date, 3, 2) + ".20" + mid(f.date, 5, 2) + " ";
    else
        entry += "  Tage: " + f.day_list;
    entry += "  Zeit: " + mid(f.start, 1, 2) + ":" + mid(f.start, 3, 2) + " - " + mid(f.end, 1, 2) + ":" +
             mid(f.end, 3, 2) + " Uhr\r\r";
    entry += "      Quelle: " + source_text(f) + "   Ziel: " + targets_text(f.targets) + "\r\r";
    return entry;
}

void show_timer_overview(Context& ctx) {
    AppState& st = ctx.st;
    enable_main_buttons(ctx, false);
    std::string overview;
    for (int n = 1; n <= 5; ++n) {
        st.timer_number = n;
        // The progress line stands where this timer's entry will stand.
        set_pane(ctx, overview + "\rAbfrage Timer " + std::to_string(n) + "...");
        st.last_reply = read_timer(ctx.link, st.timer, n);
        parse_timer_reply(st.timer, st.last_reply);
        overview += timer_overview_entry(n, st.timer, st.last_reply);
        set_pane(ctx, overview);
    }
    // Clicks made while the buttons were disabled must not open anything.
    ctx.ui.drop_queued_events();
    enable_main_buttons(ctx, true);
}

}  // namespace zd
