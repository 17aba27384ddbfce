#include "device/port_scan.h"

#include "device/commands.h"
#include "device/text_util.h"

namespace zd {

namespace {

struct TableRow {
    const char* code;
    const char* name;
    bool sets_flag;
};

const TableRow kIdentificationTable[] = {
    {"00", "kein Identifier", false}, {"01", "PR99 MK2", false}, {"02", "A725", true},
    {"03", "B285", true},             {"04", "B215", true},      {"05", "B225", true},
    {"06", "B226", true},             {"07", "A725-2", true},    {"08", "B291", false},
};

}  // namespace

DeviceIdentity identify_code(const std::string& code) {
    for (const TableRow& row : kIdentificationTable)
        if (code == row.code) return {row.name, row.sets_flag};
    return {"Fehler", false};
}

std::string identifier_code(const std::string& reply) { return mid(reply, 2, 2); }

std::string port_identifier(const std::string& reply) {
    return reply.size() > 2 ? identifier_code(reply) : "00";
}

void scan_addresses(DeviceLink& link, const std::function<void(int)>& before,
                    const std::function<void(const ScanEntry&)>& after, const std::function<bool()>& should_stop) {
    discard_input(link);
    for (int a = 0; a < kScannedAddresses; ++a) {
        if (should_stop && should_stop()) return;
        if (before) before(a);
        write_command(link, cmd::identify(a));
        ScanEntry e;
        e.address = a;
        e.reply = read_reply_line(link, kScanLimitMs);
        if (a == 0) {
            // The B203 is on the line whatever it answers.
            e.identity = {"B203", true};
        } else {
            e.identity = identify_code(identifier_code(e.reply));
            e.identifier = port_identifier(e.reply);
        }
        if (after) after(e);
    }
}

}  // namespace zd
