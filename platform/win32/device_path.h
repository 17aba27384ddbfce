#pragma once
#include <string>

#include "platform/port_name.h"

namespace zd {

// The Windows device path of a port name: "\\.\Com1" for "Com1:".
inline std::string port_device_path(const std::string& port_name) {
    const std::string open_text = port_open_text(port_name);
    return "\\\\.\\" + open_text.substr(0, open_text.find(':'));
}

}  // namespace zd
