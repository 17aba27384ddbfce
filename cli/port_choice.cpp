#include "cli/port_choice.h"

#include "core/config.h"
#include "core/utf8.h"
#include "platform/port_name.h"

namespace zd::cli {

namespace {

const char* const kHowToName =
    "Kein Port angegeben: --port PORT, die Umgebungsvariable ZENDRILL_PORT oder Comport in Zendrill.ini";

// `shown`: the text as messages show it (embedded UTF-8).
PortChoice from_text(const std::string& text, const std::string& origin, bool posix, const std::string& shown) {
    PortChoice c;
    if (posix) {
        if (text.find('/') == std::string::npos) {
            c.error = origin + " \"" + shown + "\" ist kein Gerätepfad (z. B. /dev/ttyUSB0 oder /dev/serial/by-id/...)";
            return c;
        }
        c.port = text;
        return c;
    }
    std::string name = text;
    if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
    if (name.find(':') == std::string::npos) name += ":";
    if (!is_valid_port_name(name)) {
        c.error = origin + " \"" + shown + "\" ist kein Portname (z. B. COM3)";
        return c;
    }
    c.port = name;
    return c;
}

}  // namespace

PortChoice choose_port(const PortSources& s, bool posix) {
    if (s.option) return from_text(*s.option, "--port", posix, embed_utf8(*s.option));
    if (s.environment && !s.environment->empty())
        return from_text(*s.environment, "ZENDRILL_PORT", posix, embed_utf8(*s.environment));
    if (s.ini_text) {
        const auto comport = configured_port(*s.ini_text);
        // On POSIX a GUI port name such as "Com1:" names nothing here.
        if (comport && (!posix || (*comport)[0] == '/'))
            return from_text(*comport, "Comport in Zendrill.ini", posix, embed_utf8(utf8_from_1252(*comport)));
    }
    PortChoice c;
    c.error = std::string(kHowToName) + (posix ? " (z. B. --port /dev/ttyUSB0)" : " (z. B. --port COM3)");
    return c;
}

}  // namespace zd::cli
