#pragma once
#include <functional>
#include <string>

#include "device/link.h"

namespace zd {

constexpr int kScanLimitMs = 5000;

// What an identifier code stands for.
struct DeviceIdentity {
    std::string name;
    bool sets_flag = false;
};

// Looks the code up in the identification table; "Fehler" for anything else.
DeviceIdentity identify_code(const std::string& code);
// Characters 2 and 3 of an identification reply (fewer when it is shorter).
std::string identifier_code(const std::string& reply);
// The identifier kept for an address: the code when the reply is longer
// than 2 characters, else "00".
std::string port_identifier(const std::string& reply);

// One address's answer in a scan.
struct ScanEntry {
    int address = 0;
    std::string reply;       // as received, empty when silent
    std::string identifier;  // kept for addresses 1-9; always empty for 0
    DeviceIdentity identity;
};
constexpr int kScannedAddresses = 10;
// Asks the addresses 0 to 9 in turn, discarding waiting input once before
// address 0. `before` runs before each question, `after` with each answer;
// when `should_stop` says so before a question, the scan ends there.
void scan_addresses(DeviceLink& link, const std::function<void(int address)>& before,
                    const std::function<void(const ScanEntry&)>& after,
                    const std::function<bool()>& should_stop = {});

}  // namespace zd
