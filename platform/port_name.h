#pragma once
#include <string>

// Port names as the configuration file writes them ("Com1:"): the device
// name before the first colon, the line parameters appended for the mode text.
namespace zd {

// True when the port name is a device name of 1 to 7 letters or digits
// followed by a colon (and possibly more text), e.g. "Com1:".
bool is_valid_port_name(const std::string& port_name);
// The part before the first colon ("Com1" for "Com1:").
std::string port_device_name(const std::string& port_name);
// The mode text for the line parameters: "Com1:1200,N,8,1" for "Com1:".
std::string port_open_text(const std::string& port_name);

}  // namespace zd
