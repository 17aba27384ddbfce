// Any command topic and payload from MQTT: nothing invalid is let through to
// the line, and every refusal says why.
#include <cstdint>
#include <string>

#include "core/validation.h"
#include "device/status_record.h"
#include "zendrilld/requests.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool raw = data[0] & 1;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t nl = rest.find('\n');
    const std::string topic = rest.substr(0, nl);
    const std::string payload = nl == std::string::npos ? "" : rest.substr(nl + 1);
    static const zd::ValueNames names = zd::make_value_names();
    const zd::daemon::Parsed p = zd::daemon::parse_request(topic, payload, raw, names);
    if (!p.ok) {
        if (p.message.empty()) __builtin_trap();
        return 0;
    }
    using Kind = zd::daemon::Request::Kind;
    const zd::daemon::Request& r = p.request;
    if (payload.size() > zd::daemon::kMaxPayloadBytes) __builtin_trap();
    switch (r.kind) {
        case Kind::Setting: {
            const std::size_t sizes[4] = {names.languages.size(), names.easy_functions.size(), names.on_off.size(),
                                          names.power_on.size()};
            int changed = 0;
            for (std::size_t i = 0; i < 4; ++i) {
                if (!r.settings[i]) continue;
                ++changed;
                if (r.settings[i] < '0' || static_cast<std::size_t>(r.settings[i] - '0') >= sizes[i]) __builtin_trap();
            }
            if (changed != 1) __builtin_trap();
            break;
        }
        case Kind::WriteTimer:
            if (!zd::is_composable_record(r.record) || r.timer < 1 || r.timer > 5) __builtin_trap();
            break;
        case Kind::EraseTimer:
        case Kind::TestTimer:
            if (r.timer < 1 || r.timer > 5) __builtin_trap();
            break;
        case Kind::RawSend:
            if (!raw || !zd::free_command_problem(r.line).empty()) __builtin_trap();
            break;
        default:
            break;
    }
    return 0;
}
