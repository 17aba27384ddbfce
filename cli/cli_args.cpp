#include "cli/cli_args.h"

#include <CLI/CLI.hpp>

#include "core/version.h"

namespace zd::cli {

namespace {

// CLI11's own messages are English; the tool speaks German.
std::string german_message(const CLI::ParseError& e) {
    if (dynamic_cast<const CLI::RequiredError*>(&e)) return "Es fehlt ein Befehl oder ein Argument";
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) return "Falsche Zahl von Argumenten";
    if (dynamic_cast<const CLI::ConversionError*>(&e)) return "Ungültiger Wert für --wait (Sekunden erwartet)";
    return "Ungültiger Aufruf";
}

void allow_extras_everywhere(CLI::App& app) {
    app.allow_extras();
    for (auto* sub : app.get_subcommands({})) allow_extras_everywhere(*sub);
}

std::vector<std::string> all_remaining(CLI::App& app) {
    std::vector<std::string> out = app.remaining();
    for (auto* sub : app.get_subcommands({})) {
        const auto more = all_remaining(*sub);
        out.insert(out.end(), more.begin(), more.end());
    }
    return out;
}

}  // namespace

bool parse_arguments(const std::vector<std::string>& args, CliRequest& r, std::string& error) {
    CLI::App app{"", "zendrill-cli"};
    app.set_help_flag();  // the German help below instead
    app.fallthrough();
    app.add_flag("-h,--help", r.help);
    app.add_flag("-V,--version", r.version);
    app.add_option("-p,--port", r.port);
    app.add_option("--wait", r.wait_s);
    app.require_subcommand(0, 1);

    auto* status = app.add_subcommand("status");
    status->add_flag("--json", r.json);

    auto* clock = app.add_subcommand("clock");
    clock->require_subcommand(1, 1);
    auto* sync = clock->add_subcommand("sync");
    auto* shift = clock->add_subcommand("shift");
    shift->add_option("STEP", r.argument)->required();

    auto* timers = app.add_subcommand("timers");
    timers->require_subcommand(1, 1);
    auto* list = timers->add_subcommand("list");
    list->add_flag("--json", r.json);
    auto* exp = timers->add_subcommand("export");
    exp->add_option("FILE", r.argument);
    auto* imp = timers->add_subcommand("import");
    imp->add_option("FILE", r.argument)->required();
    imp->add_flag("--dry-run", r.dry_run);

    auto* send = app.add_subcommand("send");
    send->add_option("LINE", r.argument)->required();

    auto* scan = app.add_subcommand("scan");
    scan->add_flag("--json", r.json);

    auto* settings = app.add_subcommand("settings");
    settings->require_subcommand(1, 1);
    auto* settings_send = settings->add_subcommand("send");
    settings_send->add_option("DDDD", r.argument)->required();

    auto* ir = app.add_subcommand("ir");
    ir->add_option("STATE", r.argument)->required();

    for (auto* sub : app.get_subcommands({})) sub->fallthrough();
    for (auto* parent : {clock, timers, settings})
        for (auto* sub : parent->get_subcommands({})) sub->fallthrough();
    allow_extras_everywhere(app);

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        // --help and --version win over anything else on the line.
        if (r.help || r.version) return true;
        error = german_message(e);
        return false;
    }
    if (r.help || r.version) return true;
    const auto extras = all_remaining(app);
    if (!extras.empty()) {
        error = "Unerwartetes Argument: " + extras.front();
        return false;
    }
    if (r.wait_s < 0 || r.wait_s > 3600) {
        error = "--wait erwartet Sekunden von 0 bis 3600";
        return false;
    }

    const std::pair<CLI::App*, Command> chosen[] = {
        {status, Command::Status},       {sync, Command::ClockSync},      {shift, Command::ClockShift},
        {list, Command::TimersList},     {exp, Command::TimersExport},    {imp, Command::TimersImport},
        {send, Command::Send},           {scan, Command::Scan},           {settings_send, Command::SettingsSend},
        {ir, Command::Ir},
    };
    for (const auto& [sub, command] : chosen)
        if (sub->parsed()) r.command = command;
    if (r.command == Command::None) {
        error = "Kein Befehl angegeben";
        return false;
    }
    if (r.command == Command::ClockShift && r.argument != "+1" && r.argument != "-1") {
        error = "clock shift erwartet +1 oder -1";
        return false;
    }
    if (r.command == Command::Ir && r.argument != "on" && r.argument != "off") {
        error = "ir erwartet on oder off";
        return false;
    }
    return true;
}

std::string version_text() { return "zendrill-cli " ZD_VERSION_TEXT "\n"; }

}  // namespace zd::cli
