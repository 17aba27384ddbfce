// zendrilld: the B203 always on — the line held, the clock kept right, the
// device in Home Assistant over MQTT, the line lent to zendrill-cli.
#include <mosquitto.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/utf8.h"
#include "core/version.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/io_result.h"
#include "platform/serial_port.h"
#include "platform/system.h"
#include "zendrilld/mqtt/bridge.h"
#include "zendrilld/control/control_server.h"
#include "zendrilld/daemon_config.h"
#include "zendrilld/device_picture.h"
#include "zendrilld/http/http_api.h"
#include "zendrilld/http/http_server.h"
#include "zendrilld/journal.h"
#include "zendrilld/line_agent.h"
#include "zendrilld/line_thread.h"
#include "zendrilld/log.h"
#include "zendrilld/mqtt/mqtt_link.h"

namespace {

using namespace zd::daemon;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// From SIGTERM to the end: systemd waits 90 s, an owner far less.
constexpr auto kLineStopBudget = std::chrono::seconds(3);

void say_error(const std::string& text_1252) {
    zd::write_console_text(zd::ConsoleStream::Err, "zendrilld: " + zd::utf8_from_1252(visible(text_1252)) + "\n");
}

const char* const kHelp = R"(Aufruf: zendrilld [--config DATEI] [--port PFAD] [--verbose]
       zendrilld --remove-discovery [--config DATEI]

Hält die Leitung zum B203, fragt Status und Timer ab, stellt die Geräteuhr
und bringt das Gerät über MQTT in Home Assistant. zendrill-cli leiht sich
die Leitung über den Steuer-Socket.

  --config DATEI        Konfiguration (Vorgabe /etc/zendrill/zendrilld.ini)
  --port PFAD           Gerätepfad, vor ZENDRILL_PORT und port in der Datei
  --verbose             jeden Austausch mit dem Gerät protokollieren
  --remove-discovery    Discovery- und Zustandsnachrichten beim Broker löschen
  -h, --help            diese Hilfe
  -V, --version         die Version

Rückgabewerte: 0 beendet, 1 Fehler im Betrieb, 2 Aufruf oder Konfiguration ungültig
)";

struct Options {
    std::optional<std::string> config;
    std::optional<std::string> port;
    bool verbose = false;
    bool remove_discovery = false;
    bool help = false;
    bool version = false;
};

bool parse_options(int argc, char** argv, Options& o, std::string& error) {
    CLI::App app{"", "zendrilld"};
    app.set_help_flag();
    app.add_flag("-h,--help", o.help);
    app.add_flag("-V,--version", o.version);
    app.add_option("--config", o.config)->take_last();
    app.add_option("--port", o.port)->take_last();
    app.add_flag("--verbose", o.verbose);
    app.add_flag("--remove-discovery", o.remove_discovery);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (o.help || o.version) return true;
        error = "Ungültiger Aufruf (zendrilld --help zeigt die Optionen)";
        if (dynamic_cast<const CLI::ExtrasError*>(&e)) error = "Unerwartetes Argument (zendrilld --help zeigt die Optionen)";
        if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) error = "--config und --port erwarten einen Wert";
        return false;
    }
    if (o.config && o.config->empty()) {
        error = "--config erwartet einen Dateinamen";
        return false;
    }
    return true;
}

// The configuration: the named file must exist; without --config a missing
// default file means every default.
bool load_config(const Options& o, DaemonConfig& config, std::string& error) {
    const std::string path = o.config ? *o.config : kDefaultConfigPath;
    config = default_daemon_config();
    const zd::ReadResult file = zd::host_system().read_file(path, 64 * 1024);
    if (!file.content) {
        if (!o.config && file.error == zd::io_text::errno_text(ENOENT)) return true;
        error = path + ": " + file.error;
        return false;
    }
    const ConfigReading r = parse_daemon_config(*file.content);
    if (!r.config) {
        error = path + ", " + r.error;
        return false;
    }
    config = *r.config;
    return true;
}

// The first line of the file a password key names. An empty one would
// mean no password: never what the key was set for. `warnings` gets what is
// unwise but works (Windows-1252).
bool read_password(const char* key, const std::string& path, std::string& password, std::string& error,
                   std::vector<std::string>& warnings) {
    const zd::ReadResult file = zd::host_system().read_file(path, 4096);
    if (!file.content) {
        error = std::string(key) + " " + path + ": " + file.error;
        return false;
    }
    password = password_from_file(*file.content);
    if (password.empty()) {
        error = std::string(key) + " " + path + ": die erste Zeile (das Passwort) ist leer";
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IROTH))
        warnings.push_back(std::string(key) + " " + path + " ist für alle Benutzer lesbar; besser: chmod o-rwx");
    return true;
}

bool mqtt_settings(const DaemonConfig& c, MqttSettings& s, std::string& error, std::vector<std::string>& warnings) {
    s.host = c.mqtt_host;
    s.port = c.mqtt_port;
    s.user = c.mqtt_user;
    s.tls_ca = c.mqtt_tls_ca;
    s.client_id = "zendrilld-" + c.device_id;
    s.will_topic = c.base_topic + "/bridge";
    if (!c.mqtt_password_file.empty() &&
        !read_password("mqtt_password_file", c.mqtt_password_file, s.password, error, warnings))
        return false;
    if (!c.mqtt_tls_ca.empty()) {
        const zd::ReadResult file = zd::host_system().read_file(c.mqtt_tls_ca, 1024 * 1024);
        if (!file.content) {
            error = "mqtt_tls_ca " + c.mqtt_tls_ca + ": " + file.error;
            return false;
        }
    }
    return true;
}

int remove_discovery(const DaemonConfig& config, Log& log) {
    if (config.mqtt_host.empty()) {
        say_error("mqtt_host ist nicht gesetzt; es gibt nichts zu löschen");
        return kExitUsage;
    }
    MqttSettings settings;
    std::string error;
    std::vector<std::string> warnings;
    if (!mqtt_settings(config, settings, error, warnings)) {
        say_error(error);
        return kExitUsage;
    }
    for (const std::string& w : warnings) log.line(w);
    settings.client_id += "-remove";
    Bridge bridge(config, log);
    zd::posix::Wakeup done;
    MqttLink::Handlers h;
    h.log = [&](const std::string& line) { log.line(line); };
    h.connected = [&] { done.signal(); };
    MqttLink mqtt(settings, {}, h);
    mqtt.start();
    pollfd p{done.fd(), POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) {
        mqtt.stop("");
        say_error("MQTT-Broker nicht erreichbar; nichts gelöscht");
        return kExitFailed;
    }
    // Empty retained messages delete what the broker keeps.
    for (const std::string& t : bridge.retained_topics()) mqtt.publish(t, "", true);
    mqtt.stop("");
    log.line("Discovery- und Zustandsnachrichten gelöscht");
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!parse_options(argc, argv, o, error)) {
        say_error(error);
        return kExitUsage;
    }
    if (o.help) {
        zd::write_console_text(zd::ConsoleStream::Out, zd::utf8_from_1252(kHelp));
        return kExitOk;
    }
    if (o.version) {
        zd::write_console_text(zd::ConsoleStream::Out, "zendrilld " ZD_VERSION_TEXT "\n");
        return kExitOk;
    }
    DaemonConfig config;
    if (!load_config(o, config, error)) {
        say_error(error);
        return kExitUsage;
    }
    // Signals are taken in the main loop, so the exchange in flight can finish.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // Without it no signal would reach the daemon: only SIGKILL could end it.
    const int signal_fd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signal_fd < 0) {
        say_error(std::string("Signale nicht zu empfangen (signalfd): ") + std::strerror(errno));
        return kExitFailed;
    }

    mosquitto_lib_init();
    Log log(o.verbose);
    if (o.remove_discovery) {
        const int status = remove_discovery(config, log);
        mosquitto_lib_cleanup();
        return status;
    }
    const char* env_port = std::getenv("ZENDRILL_PORT");
    config.port = choose_daemon_port(o.port, env_port ? std::optional<std::string>(env_port) : std::nullopt,
                                     config.port, error);
    if (config.port.empty()) {
        say_error(error);
        return kExitUsage;
    }
    MqttSettings settings;
    std::vector<std::string> warnings;
    if (!config.mqtt_host.empty() && !mqtt_settings(config, settings, error, warnings)) {
        say_error(error);
        return kExitUsage;
    }
    std::string http_password;
    if (!config.http_password_file.empty() &&
        !read_password("http_password_file", config.http_password_file, http_password, error, warnings)) {
        say_error(error);
        return kExitUsage;
    }
    for (const std::string& w : warnings) log.line(w);

    // The memory across restarts: a file that fails leaves it unavailable,
    // never the daemon.
    std::unique_ptr<Journal> journal;
    if (!config.journal_file.empty()) {
        journal = std::make_unique<Journal>(config.journal_file, log);
        journal->start(zd::host_system().local_time());
    }
    // One picture of the device; MQTT and the web page are views of it.
    Bridge bridge(config, log);
    DevicePicture picture(config);
    picture.add_view(bridge.view());
    LineAgent agent(config, zd::host_system(), zd::sleeping_clock(), picture, log, journal.get());
    LineThread line(config, agent, picture, zd::open_serial_port_exclusive,
                    [&](std::unique_ptr<zd::SerialPort> port) {
                        return log.verbose() ? logging_port(std::move(port), log) : std::move(port);
                    },
                    log);
    ControlServer control(config, line, log);
    if (!control.open(error)) {
        say_error(error);
        mosquitto_lib_cleanup();
        return kExitFailed;
    }
    std::unique_ptr<MqttLink> mqtt;
    zd::posix::Wakeup refused;  // another zendrilld owns the base topic
    if (!config.mqtt_host.empty()) {
        MqttLink::Handlers h;
        h.message = [&](const std::string& t, const std::string& p, bool retained) { bridge.on_message(t, p, retained); };
        h.oversized = [&](const std::string& t, std::size_t size, bool retained) { bridge.on_oversized(t, size, retained); };
        h.log = [&](const std::string& text) { log.line(text); };
        h.refused = [&](const std::string& text) {
            log.line(text);
            refused.signal();
        };
        settings.probe_topic = bridge.probe_topic();
        settings.base_topic = config.base_topic;
        mqtt = std::make_unique<MqttLink>(settings, bridge.subscriptions(), h);
    }
    std::unique_ptr<HttpApi> api;
    std::unique_ptr<HttpServer> http;
    std::string web;  // for the start line
    if (config.web) {
        HttpServer::Settings s;
        s.listen = *config.web;
        s.hosts = config.http_hosts;
        s.password = http_password;
        s.session_file = config.http_session_file;
        web = ", Web-Seite";
        for (const std::string& u : HttpServer::urls(s.listen)) web += " " + u;
        api = std::make_unique<HttpApi>(config, picture, line, zd::host_system(), !http_password.empty(), journal.get());
        http = std::make_unique<HttpServer>(s, *api, [&](const std::string& text) { log.line(text); });
        api->attach(*http);
    }
    bridge.attach(mqtt.get(), &line);
    bridge.announce();
    // What the journal remembers reaches the doors once they listen.
    if (journal) agent.remember(journal->memory(unix_seconds(zd::host_system().local_time())));
    log.line("zendrilld " ZD_VERSION_TEXT " gestartet: Port " + config.port +
             (config.mqtt_host.empty() ? ", ohne MQTT" : ", MQTT " + config.mqtt_host + ":" + std::to_string(config.mqtt_port)) +
             ", Steuer-Socket " + config.control_socket +
             web);
    if (journal) {
        JournalEntry started = journal_entry(zd::host_system(), kind::kDaemon, Door::Daemon);
        started.detail = "zendrilld " ZD_VERSION_TEXT " gestartet";
        journal->add(started);
    }
    if (mqtt) mqtt->start();
    if (http) http->start();
    line.start();

    int poll_errors = 0;
    int status = kExitOk;
    for (;;) {
        std::vector<pollfd> fds{{signal_fd, POLLIN, 0}, {refused.fd(), POLLIN, 0}};
        control.add_fds(fds);
        if (::poll(fds.data(), fds.size(), control.poll_timeout_ms()) < 0) {
            if (errno == EINTR) continue;
            // Not the end, but no reason to spin: log once, back off up to a second.
            if (poll_errors++ == 0) log.line(std::string("poll: ") + std::strerror(errno));
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(1000, 10 * poll_errors)));
            continue;
        }
        poll_errors = 0;
        if (fds[1].revents & POLLIN) {
            status = kExitFailed;
            break;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            (void)!::read(signal_fd, &info, sizeof info);
            if (info.ssi_signo == SIGHUP) continue;  // nothing to reload
            log.line("Signal " + std::to_string(info.ssi_signo) + ": zendrilld wird beendet");
            break;
        }
        control.handle(fds);
    }
    control.close();
    line.request_stop();
    const bool line_ended = line.wait_stopped(Steady::now() + kLineStopBudget);
    if (!line_ended) log.line("Die Leitung kommt nicht zurück (ein Schreiben hängt im Treiber); zendrilld endet trotzdem");
    // Requests still waiting have had their answer from the line; the page's
    // streams end now.
    if (journal) journal->on_written(nullptr);
    if (http) http->stop();
    // Refused, the topics belong to the other zendrilld: no last words.
    if (status == kExitOk) bridge.link_down_for_good();
    if (mqtt) mqtt->stop(status == kExitOk ? "offline" : "");
    log.line("zendrilld beendet");
    if (journal) {
        JournalEntry ended = journal_entry(zd::host_system(), kind::kDaemon, Door::Daemon);
        ended.detail = "zendrilld beendet";
        journal->add(ended);
        // The line's thread may still hold the journal when it did not end.
        if (line_ended) journal->stop();
        else journal->flush();
    }
    if (!line_ended) {
        // The line's thread still holds objects of this frame: leave without
        // running destructors under it.
        std::fflush(nullptr);
        _exit(status);
    }
    ::close(signal_fd);
    mqtt.reset();
    mosquitto_lib_cleanup();
    return status;
}
