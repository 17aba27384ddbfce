#include "platform/port_name.h"

#include <cctype>

namespace zd {

bool is_valid_port_name(const std::string& port_name) {
    const auto colon = port_name.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 7) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(port_name[i]);
        if (c >= 0x80 || !std::isalnum(c)) return false;
    }
    return true;
}

std::string port_device_name(const std::string& port_name) {
    return port_name.substr(0, port_name.find(':'));
}

std::string port_open_text(const std::string& port_name) { return port_name + "1200,N,8,1"; }

}  // namespace zd
