#include "core/confirmed_ops.h"

#include "core/texts.h"
#include "core/validation.h"
#include "device/commands.h"
#include "device/status_record.h"
#include "device/text_util.h"

namespace zd {

namespace {

Confirmed read_back(DeviceLink& link, std::size_t pos, const std::string& expected, const std::string& done) {
    Confirmed c;
    discard_until_quiet(link);
    c.reply = query_status(link, nullptr);
    const std::string problem = status_record_problem(c.reply);
    if (!problem.empty()) {
        c.message = problem;
        return c;
    }
    const std::string got = mid(c.reply, pos, expected.size());
    c.ok = got == expected;
    c.message = c.ok ? done : done + ", aber das Gerät meldet " + got;
    return c;
}

}  // namespace

Confirmed send_settings_confirmed(DeviceLink& link, Clock&, const std::string& settings) {
    write_command(link, cmd::set_settings(settings));
    return read_back(link, 16, settings, confirm::settings_sent(settings));
}

Confirmed switch_ir_confirmed(DeviceLink& link, Clock&, bool on) {
    write_command(link, on ? cmd::ir_on() : cmd::ir_off());
    return read_back(link, 20, on ? "0" : "1", confirm::ir_sent(on));
}

}  // namespace zd
