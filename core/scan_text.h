#pragma once
#include <string>

// The lines an address scan is shown with.
namespace zd {

std::string scan_heading();  // "\rAlle Ports abfragen:\r\r\r"
std::string scan_progress(int address);  // "Abfrage Port a..."
// "Port a:" + the reply + " -> " + the device name + "\r\r".
std::string scan_line(int address, const std::string& reply, const std::string& device_name);

}  // namespace zd
