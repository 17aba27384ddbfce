// dist/zendrilld.ini, as the package installs it to /etc/zendrill/.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "zendrilld/daemon_config.h"

namespace zd::daemon {
namespace {

std::string installed_text() {
    std::ifstream in(ZD_INSTALLED_DAEMON_INI, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A commented key line: "; key = value".
const std::regex kKeyLine("^; ([A-Za-z][A-Za-z0-9_]*) = (.*)$");

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void expect_defaults_except_examples(const DaemonConfig& c) {
    const DaemonConfig d;
    EXPECT_EQ(c.poll_status_s, d.poll_status_s);
    EXPECT_EQ(c.poll_timers_s, d.poll_timers_s);
    EXPECT_EQ(c.clock_sync_auto, d.clock_sync_auto);
    EXPECT_EQ(c.clock_tolerance_s, d.clock_tolerance_s);
    EXPECT_EQ(c.control_socket, d.control_socket);
    EXPECT_EQ(c.mqtt_port, d.mqtt_port);
    EXPECT_EQ(c.device_id, d.device_id);
    EXPECT_EQ(c.base_topic, "zendrill/" + d.device_id);
    EXPECT_EQ(c.discovery_prefix, d.discovery_prefix);
    EXPECT_EQ(c.raw_commands, d.raw_commands);
    EXPECT_EQ(c.http_listen, d.http_listen);
    EXPECT_EQ(c.http_session_file, d.http_session_file);
}

TEST(InstalledConfig, EveryKeyIsThereCommentedOut) {
    const std::string text = installed_text();
    ASSERT_FALSE(text.empty()) << ZD_INSTALLED_DAEMON_INI;
    std::set<std::string> keys;
    for (const std::string& line : lines_of(text)) {
        std::smatch m;
        if (!std::regex_match(line, m, kKeyLine)) continue;
        EXPECT_TRUE(keys.insert(m[1]).second) << line;
    }
    const std::set<std::string> expected = {
        "port", "poll_status_s", "poll_timers_s", "clock_sync", "clock_tolerance_s", "control_socket",
        "mqtt_host", "mqtt_port", "mqtt_user", "mqtt_password_file", "mqtt_tls_ca",
        "device_id", "base_topic", "discovery_prefix", "raw_commands", "http_listen", "http_password_file",
        "http_hosts", "http_session_file", "journal_file", "Station5"};
    EXPECT_EQ(keys, expected);
}

TEST(InstalledConfig, AsInstalledItGivesEveryDefault) {
    const ConfigReading r = parse_daemon_config(installed_text());
    ASSERT_TRUE(r.config) << r.error;
    const DaemonConfig& c = *r.config;
    expect_defaults_except_examples(c);
    EXPECT_EQ(c.port, "");
    EXPECT_EQ(c.mqtt_host, "");
    EXPECT_EQ(c.mqtt_user, "");
    EXPECT_EQ(c.mqtt_password_file, "");
    EXPECT_EQ(c.mqtt_tls_ca, "");
    for (const std::string& station : c.stations) EXPECT_EQ(station, "");
    EXPECT_EQ(c.http_password_file, "");
    EXPECT_TRUE(c.http_hosts.empty());
}

// What an owner gets by removing the "; " of every key line: the defaults
// where there are some, the examples elsewhere.
TEST(InstalledConfig, EveryKeyLineUncommentedStillReads) {
    std::string text;
    int uncommented = 0;
    for (const std::string& line : lines_of(installed_text())) {
        if (std::regex_match(line, kKeyLine)) {
            text += line.substr(2) + "\n";
            ++uncommented;
        } else {
            text += line + "\n";
        }
    }
    EXPECT_EQ(uncommented, 21);
    const ConfigReading r = parse_daemon_config(text);
    ASSERT_TRUE(r.config) << r.error;
    const DaemonConfig& c = *r.config;
    expect_defaults_except_examples(c);
    EXPECT_EQ(c.port, "/dev/serial/by-id/usb-EDIT-ME-if00-port0");
    EXPECT_EQ(c.mqtt_password_file, "/run/credentials/zendrilld.service/mqtt-password");
    EXPECT_FALSE(c.mqtt_host.empty());
    EXPECT_FALSE(c.mqtt_user.empty());
    EXPECT_FALSE(c.mqtt_tls_ca.empty());
    EXPECT_EQ(c.stations[5], "WDR 2");
    EXPECT_EQ(c.http_hosts, (std::vector<std::string>{"hifi.local", "192.168.1.20"}));
}

}  // namespace
}  // namespace zd::daemon
