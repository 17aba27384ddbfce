#include "zendrilld/daemon_config.h"

#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "core/ini.h"
#include "core/utf8.h"
#include "core/validation.h"
#include "zendrilld/addresses.h"

namespace zd::daemon {

namespace {

// A file named by its absolute path, or none: "" means the key's default.
std::string absolute_path(const std::string& v, std::string& into) {
    if (!v.empty() && v[0] != '/') return "ein absoluter Pfad wird erwartet";
    into = v;
    return "";
}

// A file the daemon writes: an absolute path not ending in "/", or "" for none.
std::string file_path(const std::string& v, std::string& into) {
    if (!v.empty() && (v[0] != '/' || v.back() == '/')) return "ein absoluter Pfad einer Datei wird erwartet";
    into = v;
    return "";
}

bool all_digits(const std::string& v) {
    if (v.empty() || v.size() > 9) return false;
    for (char c : v)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string trimmed(std::string_view v) {
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return std::string(v);
}

// A whole number within [lo, hi]; the message says what is allowed.
std::string read_number(const std::string& v, int lo, int hi, int& out, const char* unit) {
    if (!all_digits(v) || std::stol(v) < lo || std::stol(v) > hi)
        return "erlaubt ist eine ganze Zahl von " + std::to_string(lo) + " bis " + std::to_string(hi) + unit;
    out = static_cast<int>(std::stol(v));
    return "";
}

std::string read_switch(const std::string& v, const char* on, const char* off, bool& out) {
    if (v == on) {
        out = true;
    } else if (v == off) {
        out = false;
    } else {
        return std::string("erlaubt sind \"") + on + "\" und \"" + off + "\"";
    }
    return "";
}

bool is_device_id(const std::string& v) {
    if (v.empty() || v.size() > 64) return false;
    for (char c : v)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

// UTF-8 as it is, anything else taken as Windows-1252 and brought to UTF-8.
std::string as_utf8(const std::string& v) {
    std::string probe;
    return utf8_to_1252(v, probe) ? v : utf8_from_1252(v);
}

// The other way, for the messages, which are Windows-1252 like every text
// inside; in UTF-8 a character Windows-1252 lacks becomes "?".
std::string as_1252(const std::string& v) {
    std::string out;
    if (utf8_to_1252(v, out)) return out;
    std::string kept, one;
    for (std::size_t i = 0; i < v.size();) {
        const auto b = static_cast<unsigned char>(v[i]);
        const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > v.size()) return v;  // no UTF-8: Windows-1252 already
        kept += utf8_to_1252(v.substr(i, n), one) ? one : "?";
        i += n;
    }
    return kept;
}

// A piece of the file in a message: a binary line must not reach the
// terminal or the journal as it stands.
std::string shown(const std::string& v) { return shown_text(as_1252(v), 60); }

// The first character of well-formed UTF-8 `v` that Windows-1252 lacks,
// as "U+XXXX" (a message cannot show it); "" when `v` is no UTF-8 or has none.
std::string first_not_1252(const std::string& v) {
    std::string probe;
    for (std::size_t i = 0; i < v.size();) {
        const auto b = static_cast<unsigned char>(v[i]);
        const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > v.size()) return "";
        const std::string one = v.substr(i, n);
        if (!utf8_to_1252(one, probe)) {
            unsigned code = n == 1 ? b : b & (0xFFu >> (n + 1));
            for (std::size_t k = 1; k < n; ++k) {
                const auto c = static_cast<unsigned char>(one[k]);
                if ((c >> 6) != 2) return "";
                code = (code << 6) | (c & 0x3Fu);
            }
            char u[16];
            std::snprintf(u, sizeof u, "U+%04X", code);
            return u;
        }
        i += n;
    }
    return "";
}

using Reader = std::function<std::string(const std::string& value, DaemonConfig& c)>;

const std::map<std::string, Reader>& readers() {
    static const std::map<std::string, Reader> table = [] {
        std::map<std::string, Reader> t;
        t["port"] = [](const std::string& v, DaemonConfig& c) -> std::string {
            if (!v.empty() && v[0] != '/') return "ein Gerätepfad wie /dev/ttyUSB0 wird erwartet";
            c.port = v;
            return "";
        };
        t["poll_status_s"] = [](const std::string& v, DaemonConfig& c) {
            return read_number(v, 10, 3600, c.poll_status_s, " (Sekunden)");
        };
        t["poll_timers_s"] = [](const std::string& v, DaemonConfig& c) {
            return read_number(v, 60, 86400, c.poll_timers_s, " (Sekunden)");
        };
        t["clock_sync"] = [](const std::string& v, DaemonConfig& c) {
            return read_switch(v, "auto", "off", c.clock_sync_auto);
        };
        t["clock_tolerance_s"] = [](const std::string& v, DaemonConfig& c) {
            return read_number(v, 1, 3600, c.clock_tolerance_s, " (Sekunden)");
        };
        t["control_socket"] = [](const std::string& v, DaemonConfig& c) -> std::string {
            // sun_path holds 107 bytes and a NUL.
            if (v.empty() || v[0] != '/' || v.size() > 107) return "ein absoluter Pfad von höchstens 107 Zeichen wird erwartet";
            c.control_socket = v;
            return "";
        };
        t["mqtt_host"] = [](const std::string& v, DaemonConfig& c) -> std::string {
            if (v.size() > 253 || v.find_first_of(" /\t") != std::string::npos) return "ein Rechnername oder eine Adresse wird erwartet";
            c.mqtt_host = v;
            return "";
        };
        t["mqtt_port"] = [](const std::string& v, DaemonConfig& c) {
            return read_number(v, 1, 65535, c.mqtt_port, "");
        };
        t["mqtt_user"] = [](const std::string& v, DaemonConfig& c) -> std::string {
            if (v.size() > 256) return "höchstens 256 Zeichen";
            c.mqtt_user = as_utf8(v);
            return "";
        };
        t["mqtt_password_file"] = [](const std::string& v, DaemonConfig& c) { return absolute_path(v, c.mqtt_password_file); };
        t["mqtt_tls_ca"] = [](const std::string& v, DaemonConfig& c) { return absolute_path(v, c.mqtt_tls_ca); };
        t["device_id"] = [](const std::string& v, DaemonConfig& c) -> std::string {
            if (!is_device_id(v)) return "erlaubt sind 1 bis 64 Zeichen aus a-z, 0-9 und _";
            c.device_id = v;
            return "";
        };
        t["base_topic"] = [](const std::string& v, DaemonConfig& c) -> std::string {
            const std::string u = as_utf8(v);
            if (!is_plain_topic(u)) return "ein MQTT-Thema ohne +, #, leere Ebenen und / am Anfang oder Ende wird erwartet";
            c.base_topic = u;
            return "";
        };
        t["discovery_prefix"] = [](const std::string& v, DaemonConfig& c) -> std::string {
            const std::string u = as_utf8(v);
            if (!is_plain_topic(u)) return "ein MQTT-Thema ohne +, #, leere Ebenen und / am Anfang oder Ende wird erwartet";
            c.discovery_prefix = u;
            return "";
        };
        t["raw_commands"] = [](const std::string& v, DaemonConfig& c) {
            return read_switch(v, "on", "off", c.raw_commands);
        };
        t["http_listen"] = [](const std::string& v, DaemonConfig& c) -> std::string {
            std::string error;
            c.web = v.empty() ? std::nullopt : parse_listen_address(v, error);
            if (!v.empty() && !c.web) return error;
            c.http_listen = v;
            return "";
        };
        t["http_password_file"] = [](const std::string& v, DaemonConfig& c) { return absolute_path(v, c.http_password_file); };
        t["http_session_file"] = [](const std::string& v, DaemonConfig& c) { return file_path(v, c.http_session_file); };
        t["journal_file"] = [](const std::string& v, DaemonConfig& c) { return file_path(v, c.journal_file); };
        t["http_hosts"] = [](const std::string& v, DaemonConfig& c) {
            std::string error;
            parse_host_list(v, c.http_hosts, error);
            return error;
        };
        for (int n = 0; n < kStationCount; ++n)
            t["station" + std::to_string(n)] = [n](const std::string& v, DaemonConfig& c) -> std::string {
                std::string cp1252;
                if (!utf8_to_1252(v, cp1252)) {
                    // The device shows Windows-1252: anything else would come out garbled.
                    const std::string bad = first_not_1252(v);
                    if (!bad.empty()) return "das Zeichen " + bad + " gibt es auf dem Gerät nicht (nur Windows-1252)";
                    cp1252 = v;  // no UTF-8: Windows-1252 already
                }
                if (cp1252.size() > 64) return "höchstens 64 Zeichen";
                c.stations[n] = cp1252;
                return "";
            };
        return t;
    }();
    return table;
}

std::string lowered(std::string_view key) {
    std::string k(key);
    for (char& ch : k)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return k;
}

}  // namespace

std::string password_from_file(const std::string& text) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string rest = text.compare(0, bom.size(), bom) == 0 ? text.substr(bom.size()) : text;
    return rest.substr(0, rest.find_first_of("\r\n"));
}

bool is_plain_topic(const std::string& t, std::size_t max) {
    if (t.empty() || t.size() > max || t.front() == '/' || t.back() == '/') return false;
    if (t.find_first_of(std::string("+#\0", 3)) != std::string::npos) return false;
    return t.find("//") == std::string::npos;
}

ConfigReading parse_daemon_config(const std::string& text) {
    ConfigReading r;
    DaemonConfig c;
    std::set<std::string> seen;
    std::string error;
    for_each_ini_line(text, [&](const IniLine& l) {
        const std::string where = "Zeile " + std::to_string(l.number) + ": ";
        if (l.is_comment || trimmed(l.text).empty()) return true;
        if (l.is_section) {
            error = where + "Abschnitte gibt es in zendrilld.ini nicht (" + shown(trimmed(l.text)) + ")";
            return false;
        }
        if (!l.has_entry) {
            error = where + "\"Schlüssel = Wert\" erwartet, gefunden: " + shown(trimmed(l.text));
            return false;
        }
        const std::string key = lowered(l.key);
        const auto reader = readers().find(key);
        if (reader == readers().end()) {
            error = where + "unbekannter Schlüssel \"" + shown(std::string(l.key)) + "\"";
            return false;
        }
        if (!seen.insert(key).second) {
            error = where + "Schlüssel \"" + shown(std::string(l.key)) + "\" steht mehrfach in der Datei";
            return false;
        }
        const std::string value = trimmed(l.value);
        const std::string problem = reader->second(value, c);
        if (!problem.empty()) {
            error = where + shown(std::string(l.key)) + " = " + shown(value) + ": " + problem;
            return false;
        }
        return true;
    });
    if (!error.empty()) {
        r.error = error;
        return r;
    }
    if (c.base_topic.empty()) c.base_topic = "zendrill/" + c.device_id;
    std::string ignored;
    if (!c.http_listen.empty() && !c.web) c.web = parse_listen_address(c.http_listen, ignored);
    // Beyond this machine, the page changes the hi-fi for anyone on the network.
    if (c.web && !c.web->loopback() && c.http_password_file.empty()) {
        r.error = "http_listen = " + c.http_listen +
                  " ist von anderen Rechnern erreichbar: dafür ist ein Passwort nötig (http_password_file)";
        return r;
    }
    r.config = c;
    return r;
}

DaemonConfig default_daemon_config() { return *parse_daemon_config("").config; }

std::string choose_daemon_port(const std::optional<std::string>& option, const std::optional<std::string>& environment,
                               const std::string& from_file, std::string& error) {
    std::string port;
    std::string origin;
    if (option) {
        port = *option;
        origin = "--port";
    } else if (environment && !environment->empty()) {
        port = *environment;
        origin = "ZENDRILL_PORT";
    } else {
        port = from_file;
        origin = "port in zendrilld.ini";
    }
    if (port.empty()) {
        error = "Kein Port angegeben: --port PFAD, ZENDRILL_PORT oder port in zendrilld.ini";
        return "";
    }
    if (port[0] != '/') {
        error = origin + " \"" + shown(port) + "\" ist kein Gerätepfad (z. B. /dev/ttyUSB0 oder /dev/serial/by-id/...)";
        return "";
    }
    return port;
}

}  // namespace zd::daemon
