#pragma once
// The simulator's traffic as the tests query it, read from its log (the
// text form, read back with the simulator's own unescaping).
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "sim/escape.h"
#include "tests/integration/program.h"

namespace zd::test {

inline bool contains(const std::vector<std::string>& v, const std::string& x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

// One line of the log.
struct SimEntry {
    long long ms = 0;  // since the simulator started
    std::string kind;  // RX, TX, EV
    std::string bytes;
};

class Traffic {
public:
    std::vector<SimEntry> entries;

    // The log's entries from index `from` on.
    static Traffic read(const std::string& log, std::size_t from = 0) {
        Traffic t;
        std::istringstream in(read_text(log));
        std::string line;
        for (std::size_t i = 0; std::getline(in, line);) {
            const auto dot = line.find('.');
            const auto space = line.find(' ');
            const auto quote = line.find('"');
            if (dot == std::string::npos || space == std::string::npos || quote == std::string::npos ||
                line.back() != '"' || quote + 1 > line.size() - 1)
                continue;
            SimEntry e;
            e.ms = std::stoll(line.substr(0, dot)) * 1000 + std::stoll(line.substr(dot + 1, 3));
            e.kind = line.substr(space + 1, 2);
            if (!sim::unescape_text(line.substr(quote + 1, line.size() - quote - 2), e.bytes)) continue;
            if (i++ >= from) t.entries.push_back(e);
        }
        return t;
    }
    // Waits until what `log` holds satisfies `seen`.
    static bool wait(const std::string& log, const std::function<bool(const Traffic&)>& seen,
                     milliseconds limit = seconds(20)) {
        return eventually([&] { return seen(read(log)); }, limit);
    }

    std::size_t size() const { return entries.size(); }
    // The lines the device received that start with `prefix`, without their "\r".
    std::vector<std::string> received(const std::string& prefix = "") const { return lines("RX", prefix); }
    // The reply lines it sent that start with `prefix`, without "\r\n".
    std::vector<std::string> replies(const std::string& prefix = "") const { return lines("TX", prefix); }
    std::string last_reply(const std::string& prefix) const {
        const auto r = replies(prefix);
        return r.empty() ? "" : r.back();
    }
    std::vector<std::string> events() const { return lines("EV"); }
    // The reply to the command line `line`; "" when the next command came first.
    std::string reply_to(const std::string& line) const {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].kind != "RX" || entries[i].bytes != line + "\r") continue;
            for (std::size_t j = i + 1; j < entries.size(); ++j) {
                if (entries[j].kind == "RX") break;
                if (entries[j].kind == "TX") return entries[j].bytes.substr(0, entries[j].bytes.find('\r'));
            }
        }
        return "";
    }

private:
    std::vector<std::string> lines(const char* kind, const std::string& prefix = "") const {
        std::vector<std::string> out;
        for (const SimEntry& e : entries)
            if (e.kind == kind && e.bytes.rfind(prefix, 0) == 0)
                out.push_back(kind[0] == 'E' ? e.bytes : e.bytes.substr(0, e.bytes.find('\r')));
        return out;
    }
};

}  // namespace zd::test
