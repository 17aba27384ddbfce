#pragma once
#include <string>
#include <vector>

#include "zendrilld/addresses.h"

// Who may talk to the web page's server: which host names it answers to,
// and which origins may change something. Pure rules, so that every one of
// them is tested on its own.
namespace zd::daemon {

struct AccessRules {
    ListenAddress listen;
    std::vector<std::string> hosts;  // from http_hosts
};

// The Host header names the listen address, localhost when listening on
// loopback, or one of the configured hosts; any port. Guards against DNS
// rebinding: a page of another site that resolves its name to us.
// `local` is the address the connection arrived on: a Host naming it is
// the owner typing the address, not a rebinding name.
bool host_allowed(const AccessRules& rules, const std::string& host_header, const std::string& local = "");

// For a request that changes something: no Origin (a script), or one whose
// host and port are those of the Host header, whatever the scheme (a TLS
// proxy in front makes it https).
bool origin_allowed(const std::string& origin_header, const std::string& host_header);

// The address as the limits count it: IPv4 as it is (also when it comes
// mapped into IPv6), IPv6 by its /64, which one owner holds whole.
std::string client_group(const std::string& address);

// The page's addresses for the start line: the listen address, or when it
// is 0.0.0.0 or :: each of `interfaces` of its family (IPv6 link-local
// left out: no browser takes it without a zone).
std::vector<std::string> page_urls(const ListenAddress& listen, const std::vector<std::string>& interfaces);

}  // namespace zd::daemon
