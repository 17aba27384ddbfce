#pragma once
#include <optional>
#include <string>
#include <vector>

// Addresses and host names as the configuration writes them: the web page's
// listen address and the host names it answers to.
namespace zd::daemon {

struct ListenAddress {
    std::string host;  // an IP literal, IPv6 without brackets
    bool ipv6 = false;
    int port = 0;
    bool loopback() const;
    bool any() const;            // 0.0.0.0 or ::
    std::string shown() const;  // "127.0.0.1:8203", "[::1]:8203"
};

// "127.0.0.1:8203", "[::1]:8203", "0.0.0.0:8203", "[::]:8203". Host names
// are not taken: what the daemon binds to must not depend on a lookup.
// nullopt with `error` (German) when it is none of these.
std::optional<ListenAddress> parse_listen_address(const std::string& text, std::string& error);

// "hifi.local, 192.168.1.20, [fd00::20]": names and IP literals, lowered,
// IPv6 without brackets. False with `error` for anything else.
bool parse_host_list(const std::string& text, std::vector<std::string>& hosts, std::string& error);

// The host part of "name[:port]" or "[v6][:port]", lowered, without
// brackets; "" when it is malformed.
std::string host_of(const std::string& authority);
std::string lowered(std::string s);

}  // namespace zd::daemon
