#include "zendrilld/addresses.h"

#include <arpa/inet.h>

#include <algorithm>

#include "core/ini.h"

namespace zd::daemon {

namespace {

bool is_ipv4(const std::string& s) {
    in_addr a{};
    return inet_pton(AF_INET, s.c_str(), &a) == 1;
}

bool is_ipv6(const std::string& s) {
    in6_addr a{};
    return inet_pton(AF_INET6, s.c_str(), &a) == 1;
}

// A DNS name: labels of letters, digits and "-", not at a label's ends.
bool is_host_name(const std::string& s) {
    if (s.empty() || s.size() > 253) return false;
    std::size_t label = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == '.') {
            if (label == 0 || label > 63 || s[i - 1] == '-' || s[i - label] == '-') return false;
            label = 0;
            continue;
        }
        const char c = s[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
        ++label;
    }
    return true;
}

}  // namespace

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The host part of "name[:port]" or "[v6][:port]", lowered, without
// brackets; "" when it is malformed.
std::string host_of(const std::string& authority) {
    if (authority.empty()) return "";
    if (authority[0] == '[') {
        const auto close = authority.find(']');
        if (close == std::string::npos) return "";
        const std::string rest = authority.substr(close + 1);
        if (!rest.empty() && (rest[0] != ':' || rest.find_first_not_of("0123456789", 1) != std::string::npos))
            return "";
        const std::string v6 = authority.substr(1, close - 1);
        return is_ipv6(v6) ? lowered(v6) : "";
    }
    const auto colon = authority.find(':');
    if (colon != std::string::npos &&
        (colon + 1 == authority.size() ||
         authority.find_first_not_of("0123456789", colon + 1) != std::string::npos))
        return "";
    return lowered(authority.substr(0, colon));
}


bool ListenAddress::loopback() const {
    if (ipv6) return host == "::1";
    return host.rfind("127.", 0) == 0;
}

bool ListenAddress::any() const { return ipv6 ? host == "::" : host == "0.0.0.0"; }

std::string ListenAddress::shown() const {
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<ListenAddress> parse_listen_address(const std::string& text, std::string& error) {
    error = "Adresse und Port wie 127.0.0.1:8203, [::1]:8203 oder 0.0.0.0:8203 erwartet";
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 == text.size()) return std::nullopt;
    const std::string port = text.substr(colon + 1);
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    ListenAddress a;
    a.port = std::stoi(port);
    if (a.port < 1 || a.port > 65535) return std::nullopt;
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        a.host = host.substr(1, host.size() - 2);
        a.ipv6 = true;
        if (!is_ipv6(a.host)) return std::nullopt;
    } else {
        a.host = host;
        if (!is_ipv4(a.host)) return std::nullopt;
    }
    error.clear();
    return a;
}

bool parse_host_list(const std::string& text, std::vector<std::string>& hosts, std::string& error) {
    hosts.clear();
    if (blanks_trimmed(text).empty()) return true;
    std::size_t from = 0;
    for (;;) {
        const auto comma = text.find(',', from);
        const std::size_t length = comma == std::string::npos ? std::string::npos : comma - from;
        std::string h(blanks_trimmed(std::string_view(text).substr(from, length)));
        if (h.size() > 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
        if (h.empty()) {
            error = "leerer Eintrag; erwartet: Namen oder Adressen, durch Kommas getrennt";
            return false;
        }
        if (!is_ipv4(h) && !is_ipv6(h) && !is_host_name(h)) {
            error = "\"" + h + "\" ist kein Rechnername und keine Adresse";
            return false;
        }
        if (hosts.size() == 16) {
            error = "höchstens 16 Namen";
            return false;
        }
        hosts.push_back(lowered(h));
        if (comma == std::string::npos) return true;
        from = comma + 1;
    }
}

}  // namespace zd::daemon
