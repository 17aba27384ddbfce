#include "zendrilld/http/http_access.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace zd::daemon {

namespace {

// "::ffff:1.2.3.4" -> "1.2.3.4"; anything else as it is.
std::string unmapped(const std::string& address) {
    const std::string prefix = "::ffff:";
    if (address.size() > prefix.size() && lowered(address.substr(0, prefix.size())) == prefix &&
        address.find('.') != std::string::npos)
        return address.substr(prefix.size());
    return address;
}

}  // namespace

bool host_allowed(const AccessRules& rules, const std::string& host_header, const std::string& local) {
    const std::string host = host_of(host_header);
    if (host.empty()) return false;
    if (host == lowered(rules.listen.host)) return true;
    if (!local.empty() && (host == lowered(local) || host == lowered(unmapped(local)))) return true;
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

std::string client_group(const std::string& address) {
    const std::string a = unmapped(address);
    unsigned char bytes[16];
    if (a.find(':') == std::string::npos || inet_pton(AF_INET6, a.c_str(), bytes) != 1) return a;
    std::memset(bytes + 8, 0, 8);
    char text[INET6_ADDRSTRLEN] = "";
    inet_ntop(AF_INET6, bytes, text, sizeof text);
    return std::string(text) + "/64";
}

std::vector<std::string> page_urls(const ListenAddress& listen, const std::vector<std::string>& interfaces) {
    const auto url = [&](const std::string& host, bool v6) {
        return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(listen.port) + "/";
    };
    if (!listen.any()) return {"http://" + listen.shown() + "/"};
    std::vector<std::string> urls;
    for (const std::string& i : interfaces) {
        const bool v6 = i.find(':') != std::string::npos;
        // A socket on :: takes IPv4 too (mapped); one on 0.0.0.0 only IPv4.
        if (v6 && (!listen.ipv6 || lowered(i).rfind("fe80:", 0) == 0)) continue;
        const std::string u = url(i, v6);
        if (std::find(urls.begin(), urls.end(), u) == urls.end()) urls.push_back(u);
    }
    if (urls.empty()) urls.push_back("http://" + listen.shown() + "/");
    return urls;
}

}  // namespace zd::daemon
