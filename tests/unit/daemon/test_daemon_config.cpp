#include <gtest/gtest.h>

#include "zendrilld/daemon_config.h"

namespace zd::daemon {
namespace {

TEST(DaemonConfig, DefaultsForAnEmptyFile) {
    const ConfigReading r = parse_daemon_config("");
    ASSERT_TRUE(r.config) << r.error;
    const DaemonConfig& c = *r.config;
    EXPECT_EQ(c.port, "");
    EXPECT_EQ(c.poll_status_s, 60);
    EXPECT_EQ(c.poll_timers_s, 900);
    EXPECT_TRUE(c.clock_sync_auto);
    EXPECT_EQ(c.clock_tolerance_s, 2);
    EXPECT_EQ(c.control_socket, "/run/zendrill/zendrilld.sock");
    EXPECT_EQ(c.mqtt_host, "");
    EXPECT_EQ(c.mqtt_port, 1883);
    EXPECT_EQ(c.device_id, "b203");
    EXPECT_EQ(c.base_topic, "zendrill/b203");
    EXPECT_EQ(c.discovery_prefix, "homeassistant");
    EXPECT_FALSE(c.raw_commands);
}

TEST(DaemonConfig, EveryKeyIsRead) {
    const ConfigReading r = parse_daemon_config(
        "\xEF\xBB\xBF; zendrilld\r\n"
        "port = /dev/serial/by-id/usb-x  \r\n"
        "POLL_STATUS_S = 10\n"
        "poll_timers_s\t=\t600\n"
        "clock_sync = off\n"
        "clock_tolerance_s = 5\n"
        "control_socket = /tmp/zd.sock\n"
        "mqtt_host = broker.local\n"
        "mqtt_port = 8883\n"
        "mqtt_user = haus\n"
        "mqtt_password_file = /etc/zendrill/mqtt-password\n"
        "mqtt_tls_ca = /etc/ssl/certs/ca.pem\n"
        "device_id = wohnzimmer_1\n"
        "discovery_prefix = ha\n"
        "raw_commands = on\n"
        "Station5 = WDR 2\n"
        "Station29 = Radio \xC3\xA4\n");
    ASSERT_TRUE(r.config) << r.error;
    const DaemonConfig& c = *r.config;
    EXPECT_EQ(c.port, "/dev/serial/by-id/usb-x");
    EXPECT_EQ(c.poll_status_s, 10);
    EXPECT_EQ(c.poll_timers_s, 600);
    EXPECT_FALSE(c.clock_sync_auto);
    EXPECT_EQ(c.clock_tolerance_s, 5);
    EXPECT_EQ(c.control_socket, "/tmp/zd.sock");
    EXPECT_EQ(c.mqtt_host, "broker.local");
    EXPECT_EQ(c.mqtt_port, 8883);
    EXPECT_EQ(c.mqtt_user, "haus");
    EXPECT_EQ(c.mqtt_password_file, "/etc/zendrill/mqtt-password");
    EXPECT_EQ(c.mqtt_tls_ca, "/etc/ssl/certs/ca.pem");
    EXPECT_EQ(c.device_id, "wohnzimmer_1");
    EXPECT_EQ(c.base_topic, "zendrill/wohnzimmer_1");
    EXPECT_EQ(c.discovery_prefix, "ha");
    EXPECT_TRUE(c.raw_commands);
    EXPECT_EQ(c.stations[5], "WDR 2");
    EXPECT_EQ(c.stations[29], "Radio \xE4");  // Windows-1252 inside, as the GUI keeps them
}

TEST(DaemonConfig, ErrorsNameTheLineAndTheKey) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"pol_status_s = 10\n", "Zeile 1: unbekannter Schlüssel \"pol_status_s\""},
        {"port = /dev/x\nport = /dev/y\n", "Zeile 2: Schlüssel \"port\" steht mehrfach in der Datei"},
        {"poll_status_s = 5\n", "Zeile 1: poll_status_s = 5: erlaubt ist eine ganze Zahl von 10 bis 3600 (Sekunden)"},
        {"poll_status_s = 0x10\n", "Zeile 1: poll_status_s = 0x10: erlaubt ist eine ganze Zahl von 10 bis 3600 (Sekunden)"},
        {"poll_status_s =\n", "Zeile 1: poll_status_s = : erlaubt ist eine ganze Zahl von 10 bis 3600 (Sekunden)"},
        {"mqtt_port = 70000\n", "Zeile 1: mqtt_port = 70000: erlaubt ist eine ganze Zahl von 1 bis 65535"},
        {"clock_sync = ja\n", "Zeile 1: clock_sync = ja: erlaubt sind \"auto\" und \"off\""},
        {"raw_commands = true\n", "Zeile 1: raw_commands = true: erlaubt sind \"on\" und \"off\""},
        {"device_id = B203\n", "Zeile 1: device_id = B203: erlaubt sind 1 bis 64 Zeichen aus a-z, 0-9 und _"},
        {"base_topic = zendrill/#\n",
         "Zeile 1: base_topic = zendrill/#: ein MQTT-Thema ohne +, #, leere Ebenen und / am Anfang oder Ende wird erwartet"},
        {"port = ttyUSB0\n", "Zeile 1: port = ttyUSB0: ein Gerätepfad wie /dev/ttyUSB0 wird erwartet"},
        {"[mqtt]\n", "Zeile 1: Abschnitte gibt es in zendrilld.ini nicht ([mqtt])"},
        {"\n\nmqtt_host\n", "Zeile 3: \"Schlüssel = Wert\" erwartet, gefunden: mqtt_host"},
        // A binary line reaches the terminal with its control bytes escaped.
        {"\x1b]0;x\x07\x1b[2J\n", "Zeile 1: \"Schlüssel = Wert\" erwartet, gefunden: <0x1B>]0;x<0x07><0x1B>[2J"},
        {"poll_status_s = 1\xC2\x81\n",
         "Zeile 1: poll_status_s = 1<0x81>: erlaubt ist eine ganze Zahl von 10 bis 3600 (Sekunden)"},
        {"mqtt_password_file = secret\n", "Zeile 1: mqtt_password_file = secret: ein absoluter Pfad wird erwartet"},
        {"http_listen = hifi:8203\n",
         "Zeile 1: http_listen = hifi:8203: Adresse und Port wie 127.0.0.1:8203, [::1]:8203 oder 0.0.0.0:8203 erwartet"},
        {"http_hosts = a,,b\n",
         "Zeile 1: http_hosts = a,,b: leerer Eintrag; erwartet: Namen oder Adressen, durch Kommas getrennt"},
        // The device shows Windows-1252: anything else is refused, by name.
        {"Station3 = Schnee \xE2\x98\x83\n",
         "Zeile 1: Station3 = Schnee ?: das Zeichen U+2603 gibt es auf dem Gerät nicht (nur Windows-1252)"},
        {"station7 = \xF0\x9F\x93\xBB Radio\n",
         "Zeile 1: station7 = ? Radio: das Zeichen U+1F4FB gibt es auf dem Gerät nicht (nur Windows-1252)"},
        {"http_session_file = sessions\n",
         "Zeile 1: http_session_file = sessions: ein absoluter Pfad einer Datei wird erwartet"},
        {"http_session_file = /var/lib/zendrill/\n",
         "Zeile 1: http_session_file = /var/lib/zendrill/: ein absoluter Pfad einer Datei wird erwartet"},
        {"journal_file = journal.db\n", "Zeile 1: journal_file = journal.db: ein absoluter Pfad einer Datei wird erwartet"},
        // Reachable from other machines, the page needs a password.
        {"http_listen = 0.0.0.0:8203\n",
         "http_listen = 0.0.0.0:8203 ist von anderen Rechnern erreichbar: dafür ist ein Passwort nötig "
         "(http_password_file)"},
    };
    for (const Case& c : cases) {
        const ConfigReading r = parse_daemon_config(c.text);
        EXPECT_FALSE(r.config) << c.text;
        EXPECT_EQ(r.error, c.error) << c.text;
    }
}

TEST(DaemonConfig, TheSessionFileAndThePasswordFiles) {
    EXPECT_EQ(default_daemon_config().http_session_file, "/var/lib/zendrill/http-sessions");
    const ConfigReading none = parse_daemon_config("http_session_file =\n");
    ASSERT_TRUE(none.config) << none.error;
    EXPECT_EQ(none.config->http_session_file, "");
    const ConfigReading other = parse_daemon_config("http_session_file = /srv/z/s\n");
    ASSERT_TRUE(other.config) << other.error;
    EXPECT_EQ(other.config->http_session_file, "/srv/z/s");
    EXPECT_EQ(default_daemon_config().journal_file, "/var/lib/zendrill/journal.db");
    const ConfigReading no_journal = parse_daemon_config("journal_file =\n");
    ASSERT_TRUE(no_journal.config) << no_journal.error;
    EXPECT_EQ(no_journal.config->journal_file, "");
    // A Windows editor's byte order mark and line end are no part of the password.
    const struct {
        const char* text;
        const char* password;
    } files[] = {
        {"geheim\n", "geheim"},          {"\xEF\xBB\xBFgeheim\r\n", "geheim"}, {"\xEF\xBB\xBF", ""},
        {"\xEF\xBB\xBF\r\nx", ""},       {"ge heim", "ge heim"},           {"\xEF\xBBgeheim", "\xEF\xBBgeheim"},
    };
    for (const auto& f : files) EXPECT_EQ(password_from_file(f.text), f.password) << f.text;
}

TEST(DaemonConfig, PortComesFromOptionThenEnvironmentThenFile) {
    std::string error;
    EXPECT_EQ(choose_daemon_port(std::string("/dev/a"), std::string("/dev/b"), "/dev/c", error), "/dev/a");
    EXPECT_EQ(choose_daemon_port(std::nullopt, std::string("/dev/b"), "/dev/c", error), "/dev/b");
    EXPECT_EQ(choose_daemon_port(std::nullopt, std::string(""), "/dev/c", error), "/dev/c");
    EXPECT_EQ(choose_daemon_port(std::nullopt, std::nullopt, "", error), "");
    EXPECT_EQ(error, "Kein Port angegeben: --port PFAD, ZENDRILL_PORT oder port in zendrilld.ini");
    EXPECT_EQ(choose_daemon_port(std::string("COM1"), std::nullopt, "", error), "");
    EXPECT_EQ(error, "--port \"COM1\" ist kein Gerätepfad (z. B. /dev/ttyUSB0 oder /dev/serial/by-id/...)");
}

}  // namespace
}  // namespace zd::daemon
