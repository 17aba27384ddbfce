#include "core/scan_text.h"

namespace zd {

std::string scan_heading() { return "\rAlle Ports abfragen:\r\r\r"; }

std::string scan_progress(int address) { return "Abfrage Port " + std::to_string(address) + "..."; }

std::string scan_line(int address, const std::string& reply, const std::string& device_name) {
    return "Port " + std::to_string(address) + ":" + reply + " -> " + device_name + "\r\r";
}

}  // namespace zd
