#pragma once
#include <optional>
#include <string>
#include <vector>

#include "core/config.h"
#include "zendrilld/addresses.h"

namespace zd::daemon {

constexpr const char* kDefaultConfigPath = "/etc/zendrill/zendrilld.ini";
constexpr const char* kDefaultControlSocket = "/run/zendrill/zendrilld.sock";
constexpr const char* kDefaultSessionFile = "/var/lib/zendrill/http-sessions";
constexpr const char* kDefaultJournalFile = "/var/lib/zendrill/journal.db";

// Everything zendrilld.ini can set; each key has a sound default.
struct DaemonConfig {
    std::string port;  // a device path
    int poll_status_s = 60;
    int poll_timers_s = 900;
    bool clock_sync_auto = true;
    int clock_tolerance_s = 2;
    std::string control_socket = kDefaultControlSocket;
    std::string mqtt_host;  // empty: no MQTT
    int mqtt_port = 1883;
    std::string mqtt_user;
    std::string mqtt_password_file;
    std::string mqtt_tls_ca;
    std::string device_id = "b203";
    std::string base_topic;  // default zendrill/<device_id>
    std::string discovery_prefix = "homeassistant";
    bool raw_commands = false;
    std::string http_listen = "127.0.0.1:8203";  // empty: no web page
    std::optional<ListenAddress> web;  // http_listen parsed; nullopt: no web page
    std::string http_password_file;
    std::vector<std::string> http_hosts;  // lowered, IPv6 without brackets
    // Where logins outlast a restart; empty: they do not.
    std::string http_session_file = kDefaultSessionFile;
    // The journal of what happened to the device; empty: none is kept.
    std::string journal_file = kDefaultJournalFile;
    std::string stations[kStationCount];  // Windows-1252, as the GUI keeps them
};

// Reads the file's text (UTF-8, or Windows-1252 where it is not UTF-8). An
// unknown key, a repeated key or a bad value gives a German message naming
// the line and the key (Windows-1252, as every text inside).
struct ConfigReading {
    std::optional<DaemonConfig> config;
    std::string error;
};
// What is derived from other keys (the base topic, the parsed listen
// address) is resolved here, once.
ConfigReading parse_daemon_config(const std::string& file_text);
// Every key at its default, resolved the same way.
DaemonConfig default_daemon_config();

// The port: --port, else ZENDRILL_PORT, else the key; a device path.
// Empty with `error` set when none is usable.
std::string choose_daemon_port(const std::optional<std::string>& option, const std::optional<std::string>& environment,
                               const std::string& from_file, std::string& error);

// The password in a password file's text: its first line, without the
// byte order mark a Windows editor puts before UTF-8.
std::string password_from_file(const std::string& file_text);

// A topic of its own levels: no wildcards, no empty level, no NUL, at most
// `max` bytes.
bool is_plain_topic(const std::string& topic, std::size_t max = 200);

}  // namespace zd::daemon
