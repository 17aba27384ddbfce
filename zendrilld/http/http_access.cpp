#include "zendrilld/http/http_access.h"

#include <algorithm>

namespace zd::daemon {

bool host_allowed(const AccessRules& rules, const std::string& host_header) {
    const std::string host = host_of(host_header);
    if (host.empty()) return false;
    if (host == lowered(rules.listen.host)) return true;
    if (rules.listen.loopback() && host == "localhost") return true;
    return std::find(rules.hosts.begin(), rules.hosts.end(), host) != rules.hosts.end();
}

bool origin_allowed(const std::string& origin, const std::string& host_header) {
    if (origin.empty()) return true;
    const auto sep = origin.find("://");
    if (sep == std::string::npos) return false;  // "null" among them
    std::string authority = origin.substr(sep + 3);
    if (authority.empty() || authority.find('/') != std::string::npos) return false;
    return lowered(authority) == lowered(host_header);
}

}  // namespace zd::daemon
