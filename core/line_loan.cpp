#include "core/line_loan.h"

namespace zd::loan {

namespace {

bool starts_with(const std::string& s, const char* prefix, std::string& rest) {
    const std::string p(prefix);
    if (s.compare(0, p.size(), p) != 0) return false;
    rest = s.substr(p.size());
    return true;
}

bool printable(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

}  // namespace

std::string request_line(const std::string& port) { return "LEND " + port + "\n"; }

bool parse_request(const std::string& line, std::string& port) {
    return starts_with(line, "LEND ", port) && !port.empty() && port.size() < kMaxLine && printable(port);
}

std::string lent_line() { return "LENT\n"; }
std::string other_line(const std::string& daemon_port) { return "OTHER " + daemon_port + "\n"; }
std::string refused_line(const std::string& why) { return "ERROR " + why + "\n"; }

Answer parse_answer(const std::string& line, std::string& detail) {
    detail.clear();
    if (line == "LENT") return Answer::Lent;
    if (starts_with(line, "OTHER ", detail)) return Answer::Other;
    if (starts_with(line, "ERROR ", detail)) return Answer::Refused;
    return Answer::Garbled;
}

}  // namespace zd::loan
