#include "device/status_record.h"

#include "device/commands.h"
#include "device/text_util.h"

namespace zd {

ValueNames make_value_names() {
    ValueNames n;
    n.languages = {"Englisch", "Deutsch", "Französisch"};
    n.easy_functions = {"Easy Remote", "Easy Remote + Local", "aus"};
    n.on_off = {"ein", "aus"};
    n.power_on = {"Lautsprecher A", "Lautsprecher B", "Lautsprecher A+B",
                  "zuletzt aktivierte Lautsprecher", "Lautsprecher aus"};
    return n;
}

std::string query_status(DeviceLink& link, const std::function<void()>& show_progress) {
    discard_input(link);
    if (show_progress) show_progress();
    write_command(link, cmd::status_query());
    return read_reply_line(link, kStatusLimitMs);
}

bool is_status_record(const std::string& reply) { return reply.size() == kStatusRecordLength; }

std::string status_date_text(const std::string& r) {
    return mid(r, 4, 2) + "." + mid(r, 6, 2) + ".20" + mid(r, 8, 2);
}

std::string status_time_text(const std::string& r) {
    return mid(r, 10, 2) + ":" + mid(r, 12, 2) + ":" + mid(r, 14, 2);
}

std::string status_settings(const std::string& r) { return mid(r, 16, 4); }

int code_index(const std::string& code, std::size_t count) {
    const long value = leading_number(code);
    if (value < 0 || static_cast<std::size_t>(value) >= count) return -1;
    return static_cast<int>(value);
}

std::string code_name(const std::string& code, const std::vector<std::string>& names) {
    const int i = code_index(code, names.size());
    return i < 0 ? std::string() : names[static_cast<std::size_t>(i)];
}

std::string on_off_text(const std::string& code) { return code == "0" ? "ein" : "aus"; }

}  // namespace zd
