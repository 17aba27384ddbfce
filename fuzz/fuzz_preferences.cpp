// Any INI text: every lookup terminates, and what was read is written back readable.
#include <cstdint>
#include <string>

#include "core/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const zd::Config c = zd::parse_configuration(text);
    const std::string saved = zd::format_configuration(c, c.win_x, c.win_y);
    const zd::Config back = zd::parse_configuration(saved);
    // Values without line ends survive a save and a reload.
    if (c.comport.find_first_of("\r\n") == std::string::npos && back.comport != c.comport) __builtin_trap();
    if (back.win_x != c.win_x || back.win_y != c.win_y) __builtin_trap();
    return 0;
}
