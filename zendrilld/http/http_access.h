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
bool host_allowed(const AccessRules& rules, const std::string& host_header);

// For a request that changes something: no Origin (a script), or one whose
// host and port are those of the Host header, whatever the scheme (a TLS
// proxy in front makes it https).
bool origin_allowed(const std::string& origin_header, const std::string& host_header);

}  // namespace zd::daemon
