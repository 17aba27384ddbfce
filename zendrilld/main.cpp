// zendrilld: the B203 always on — the line held, the clock kept right, the
// device in Home Assistant over MQTT, the line lent to zendrill-cli.
#include <mosquitto.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
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
#include "zendrilld/bridge.h"
#include "zendrilld/control_server.h"
#include "zendrilld/daemon_config.h"
#include "zendrilld/line_agent.h"
#include "zendrilld/line_thread.h"
#include "zendrilld/log.h"
#include "zendrilld/mqtt_link.h"

namespace {

using namespace zd::daemon;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void say_error(const std::string& text_1252) {
    zd::write_console_text(zd::ConsoleStream::Err, "zendrilld: " + zd::utf8_from_1252(text_1252) + "\n");
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

bool mqtt_settings(const DaemonConfig& c, MqttSettings& s, std::string& error) {
    s.host = c.mqtt_host;
    s.port = c.mqtt_port;
    s.user = c.mqtt_user;
    s.tls_ca = c.mqtt_tls_ca;
    s.client_id = "zendrilld-" + c.device_id;
    s.will_topic = c.base_topic + "/bridge";
    if (!c.mqtt_password_file.empty()) {
        const zd::ReadResult file = zd::host_system().read_file(c.mqtt_password_file, 4096);
        if (!file.content) {
            error = "mqtt_password_file " + c.mqtt_password_file + ": " + file.error;
            return false;
        }
        s.password = file.content->substr(0, file.content->find_first_of("\r\n"));
    }
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
    if (!mqtt_settings(config, settings, error)) {
        say_error(error);
        return kExitUsage;
    }
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
    if (config.base_topic.empty()) config.base_topic = "zendrill/" + config.device_id;

    // Signals are taken in the main loop, so the exchange in flight can finish.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

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
    if (!config.mqtt_host.empty() && !mqtt_settings(config, settings, error)) {
        say_error(error);
        return kExitUsage;
    }

    Bridge bridge(config, log);
    LineAgent agent(config, zd::host_system(), zd::sleeping_clock(), bridge.agent_output());
    LineThread line(
        config, agent, zd::open_serial_port_exclusive,
        [&](std::unique_ptr<zd::SerialPort> port) {
            return log.verbose() ? logging_port(std::move(port), log) : std::move(port);
        },
        [&](const std::string& text) { log.line(text); });
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
    bridge.attach(mqtt.get(), &line);
    bridge.announce();
    log.line("zendrilld " ZD_VERSION_TEXT " gestartet: Port " + config.port +
             (config.mqtt_host.empty() ? ", ohne MQTT" : ", MQTT " + config.mqtt_host + ":" + std::to_string(config.mqtt_port)) +
             ", Steuer-Socket " + config.control_socket);
    if (mqtt) mqtt->start();
    line.start();

    const int signal_fd = signalfd(-1, &signals, SFD_CLOEXEC);
    int status = kExitOk;
    for (;;) {
        std::vector<pollfd> fds{{signal_fd, POLLIN, 0}, {refused.fd(), POLLIN, 0}};
        control.add_fds(fds);
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
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
    line.stop();
    // Refused, the topics belong to the other zendrilld: no last words.
    if (status == kExitOk) bridge.link_down_for_good();
    if (mqtt) mqtt->stop(status == kExitOk ? "offline" : "");
    ::close(signal_fd);
    mosquitto_lib_cleanup();
    log.line("zendrilld beendet");
    return status;
}
