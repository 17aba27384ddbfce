#pragma once
#include <optional>
#include <string>
#include <vector>

// Who may talk to the web page's server: where it listens, which host
// names it answers to, and which origins may change something. Pure rules,
// so that every one of them is tested on its own.
namespace zd::daemon {

struct ListenAddress {
    std::string host;  // an IP literal, IPv6 without brackets
    bool ipv6 = false;
    int port = 0;
    bool loopback() const;
    std::string shown() const;  // "127.0.0.1:8203", "[::1]:8203"
};

// "127.0.0.1:8203", "[::1]:8203", "0.0.0.0:8203", "[::]:8203". Host names
// are not taken: what the daemon binds to must not depend on a lookup.
// nullopt with `error` (German) when it is none of these.
std::optional<ListenAddress> parse_listen_address(const std::string& text, std::string& error);

// "hifi.local, 192.168.1.20, [fd00::20]": names and IP literals, lowered,
// IPv6 without brackets. False with `error` for anything else.
bool parse_host_list(const std::string& text, std::vector<std::string>& hosts, std::string& error);

struct AccessRules {
    ListenAddress listen;
    std::vector<std::string> hosts;  // from http_hosts
};

// The Host header names the listen address, localhost when listening on
// loopback, or one of the configured hosts; any port. Guards against DNS
// rebinding: a page of another site that resolves its name to us.
bool host_allowed(const AccessRules& rules, const std::string& host_header);

// For a request that changes something: no Origin (a script), or one whose
// host and port are those of the Host header, whatever the scheme (a TLS
// proxy in front makes it https).
bool origin_allowed(const std::string& origin_header, const std::string& host_header);

}  // namespace zd::daemon
