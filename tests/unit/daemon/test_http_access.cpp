#include <gtest/gtest.h>

#include "zendrilld/http/http_access.h"

namespace zd::daemon {
namespace {

TEST(HttpAccess, ListenAddresses) {
    const struct {
        const char* text;
        bool ok;
        const char* shown;
        bool loopback;
    } cases[] = {
        {"127.0.0.1:8203", true, "127.0.0.1:8203", true},
        {"127.0.0.2:80", true, "127.0.0.2:80", true},
        {"[::1]:8203", true, "[::1]:8203", true},
        {"0.0.0.0:8203", true, "0.0.0.0:8203", false},
        {"[::]:8203", true, "[::]:8203", false},
        {"192.168.1.20:8203", true, "192.168.1.20:8203", false},
        {"localhost:8203", false, "", false},  // no lookups for what we bind to
        {"127.0.0.1", false, "", false},
        {"127.0.0.1:", false, "", false},
        {"127.0.0.1:0", false, "", false},
        {"127.0.0.1:65536", false, "", false},
        {"127.0.0.1:-1", false, "", false},
        {"::1:8203", false, "", false},
        {"[::1:8203", false, "", false},
        {"[127.0.0.1]:8203", false, "", false},
        {"", false, "", false},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto a = parse_listen_address(c.text, error);
        ASSERT_EQ(a.has_value(), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_EQ(error, "Adresse und Port wie 127.0.0.1:8203, [::1]:8203 oder 0.0.0.0:8203 erwartet");
            continue;
        }
        EXPECT_EQ(a->shown(), c.shown);
        EXPECT_EQ(a->loopback(), c.loopback) << c.text;
    }
}

TEST(HttpAccess, HostLists) {
    std::vector<std::string> hosts;
    std::string error;
    ASSERT_TRUE(parse_host_list(" HiFi.local, 192.168.1.20 ,[FD00::20]", hosts, error));
    EXPECT_EQ(hosts, (std::vector<std::string>{"hifi.local", "192.168.1.20", "fd00::20"}));
    ASSERT_TRUE(parse_host_list("", hosts, error));
    EXPECT_TRUE(hosts.empty());
    const struct {
        const char* text;
        const char* error;
    } bad[] = {
        {"hifi.local,", "leerer Eintrag; erwartet: Namen oder Adressen, durch Kommas getrennt"},
        {"a,,b", "leerer Eintrag; erwartet: Namen oder Adressen, durch Kommas getrennt"},
        {"hifi.local:8203", "\"hifi.local:8203\" ist kein Rechnername und keine Adresse"},
        {"-hifi", "\"-hifi\" ist kein Rechnername und keine Adresse"},
        {"hi fi", "\"hi fi\" ist kein Rechnername und keine Adresse"},
        {"a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q", "höchstens 16 Namen"},
    };
    for (const auto& c : bad) {
        EXPECT_FALSE(parse_host_list(c.text, hosts, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(HttpAccess, HostHeaderMustNameThisServer) {
    std::string error;
    AccessRules loopback{*parse_listen_address("127.0.0.1:8203", error), {"hifi.local"}};
    AccessRules v6{*parse_listen_address("[::1]:8203", error), {}};
    AccessRules lan{*parse_listen_address("0.0.0.0:8203", error), {"hifi.local", "192.168.1.20"}};
    const struct {
        const AccessRules* rules;
        const char* host;
        bool allowed;
    } cases[] = {
        {&loopback, "127.0.0.1:8203", true},
        {&loopback, "127.0.0.1", true},
        {&loopback, "localhost:8203", true},
        {&loopback, "LOCALHOST", true},
        {&loopback, "hifi.local:9000", true},  // behind a proxy on another port
        {&loopback, "evil.example:8203", false},
        {&loopback, "127.0.0.1.evil.example", false},
        {&loopback, "", false},
        {&loopback, "127.0.0.1:82x3", false},
        {&v6, "[::1]:8203", true},
        {&v6, "localhost:8203", true},
        {&v6, "[::1", false},
        {&lan, "192.168.1.20:8203", true},
        {&lan, "hifi.local", true},
        {&lan, "localhost:8203", false},  // only when listening on loopback
        {&lan, "0.0.0.0:8203", true},
        {&lan, "192.168.1.21:8203", false},
    };
    for (const auto& c : cases) EXPECT_EQ(host_allowed(*c.rules, c.host), c.allowed) << c.host;
}

// Listening on any address without http_hosts, the address a request
// arrived on is the owner typing it, not a rebinding name; another address
// of the machine is not.
TEST(HttpAccess, TheAddressAConnectionArrivedOnIsAllowed) {
    std::string error;
    AccessRules any4{*parse_listen_address("0.0.0.0:8203", error), {}};
    AccessRules any6{*parse_listen_address("[::]:8203", error), {}};
    const struct {
        const AccessRules* rules;
        const char* host;
        const char* local;
        bool allowed;
    } cases[] = {
        {&any4, "192.168.1.20:8203", "192.168.1.20", true},
        {&any4, "192.168.1.20", "192.168.1.20", true},
        {&any4, "192.168.1.21:8203", "192.168.1.20", false},
        {&any4, "hifi.local:8203", "192.168.1.20", false},
        {&any4, "192.168.1.20:8203", "", false},
        {&any6, "[fd00::20]:8203", "fd00::20", true},
        {&any6, "[FD00::20]:8203", "fd00::20", true},
        {&any6, "192.168.1.20:8203", "::ffff:192.168.1.20", true},  // IPv4 on an IPv6 socket
        {&any6, "[fd00::21]:8203", "fd00::20", false},
    };
    for (const auto& c : cases) EXPECT_EQ(host_allowed(*c.rules, c.host, c.local), c.allowed) << c.host;
}

TEST(HttpAccess, ClientsAreCountedByAddressAndIpv6By64) {
    const struct {
        const char* address;
        const char* group;
    } cases[] = {
        {"10.0.0.9", "10.0.0.9"},
        {"::ffff:10.0.0.9", "10.0.0.9"},
        {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2::/64"},
        {"2001:db8:1:2::1", "2001:db8:1:2::/64"},
        {"::1", "::/64"},
        {"?", "?"},
    };
    for (const auto& c : cases) EXPECT_EQ(client_group(c.address), c.group) << c.address;
}

TEST(HttpAccess, ThePageIsShownAtTheAddressesItCanBeReachedAt) {
    std::string error;
    const std::vector<std::string> interfaces = {"127.0.0.1", "192.168.1.20", "::1", "fe80::1", "fd00::20",
                                                 "192.168.1.20"};
    EXPECT_EQ(page_urls(*parse_listen_address("127.0.0.1:8203", error), interfaces),
              (std::vector<std::string>{"http://127.0.0.1:8203/"}));
    EXPECT_EQ(page_urls(*parse_listen_address("0.0.0.0:8203", error), interfaces),
              (std::vector<std::string>{"http://127.0.0.1:8203/", "http://192.168.1.20:8203/"}));
    EXPECT_EQ(page_urls(*parse_listen_address("[::]:80", error), interfaces),
              (std::vector<std::string>{"http://127.0.0.1:80/", "http://192.168.1.20:80/", "http://[::1]:80/",
                                        "http://[fd00::20]:80/"}));
    EXPECT_EQ(page_urls(*parse_listen_address("0.0.0.0:8203", error), {}),
              (std::vector<std::string>{"http://0.0.0.0:8203/"}));
}

TEST(HttpAccess, OriginMustBeTheHostItself) {
    const struct {
        const char* origin;
        const char* host;
        bool allowed;
    } cases[] = {
        {"", "hifi.local:8203", true},  // curl, scripts
        {"http://hifi.local:8203", "hifi.local:8203", true},
        {"https://HIFI.local", "hifi.local", true},  // a TLS proxy in front
        {"http://evil.example", "hifi.local:8203", false},
        {"http://hifi.local:8204", "hifi.local:8203", false},
        {"http://hifi.local:8203/x", "hifi.local:8203", false},
        {"null", "hifi.local:8203", false},
    };
    for (const auto& c : cases) EXPECT_EQ(origin_allowed(c.origin, c.host), c.allowed) << c.origin;
}

}  // namespace
}  // namespace zd::daemon
