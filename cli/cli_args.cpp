#include "cli/cli_args.h"

#include <CLI/CLI.hpp>

#include "core/utf8.h"
#include "core/version.h"

namespace zd::cli {

namespace {

// CLI11's own messages are English and name no option. Options and flags
// are therefore collected as plain texts and judged below, in German; only
// what CLI11 still refuses itself gets this general word.
std::string german_message(const CLI::ParseError& e) {
    if (dynamic_cast<const CLI::RequiredError*>(&e)) return "Es fehlt ein Befehl oder ein Argument";
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) return "Falsche Zahl von Argumenten";
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

// Every occurrence of an option with one value; an occurrence without a
// value counts, so it can be named.
CLI::Option* add_text_option(CLI::App& app, const std::string& names, std::vector<std::string>& values) {
    return app.add_option(names, values)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(0, 1)
        ->allow_extra_args(false);
}

// A flag's texts: "true" when given bare, the text after "=" otherwise.
struct Flag {
    std::string name;
    std::vector<std::string> values;
    bool given() const { return !values.empty(); }
    bool has_value() const {
        for (const auto& v : values)
            if (v != "true") return true;
        return false;
    }
};

// Whole seconds in decimal digits: "0x10", "1e3" or "" are none.
bool parse_seconds(const std::string& text, int& seconds) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    seconds = std::stoi(text);
    return true;
}

std::string quoted(const std::string& utf8) { return "\"" + embed_utf8(utf8) + "\""; }

}  // namespace

bool parse_arguments(const std::vector<std::string>& args, CliRequest& r, std::string& error) {
    CLI::App app{"", "zendrill-cli"};
    app.set_help_flag();  // the German help below instead
    // Windows builds would take "/dev/x" or "/tmp/b.ini" for an option "/x";
    // the tool knows only "-" and "--" options. Set before the subcommands,
    // which inherit it.
    app.allow_windows_style_options(false);
    app.fallthrough();
    Flag help{"--help", {}}, version{"--version", {}}, json{"--json", {}}, dry_run{"--dry-run", {}};
    std::vector<std::string> ports, waits;
    app.add_flag("-h,--help", help.values);
    app.add_flag("-V,--version", version.values);
    CLI::Option* port_option = add_text_option(app, "-p,--port", ports);
    CLI::Option* wait_option = add_text_option(app, "--wait", waits);
    app.require_subcommand(0, 1);

    auto* status = app.add_subcommand("status");
    status->add_flag("--json", json.values);

    auto* clock = app.add_subcommand("clock");
    clock->require_subcommand(0, 1);
    auto* sync = clock->add_subcommand("sync");
    auto* shift = clock->add_subcommand("shift");
    shift->add_option("STEP", r.argument);

    auto* timers = app.add_subcommand("timers");
    timers->require_subcommand(0, 1);
    auto* list = timers->add_subcommand("list");
    list->add_flag("--json", json.values);
    auto* exp = timers->add_subcommand("export");
    CLI::Option* export_file = exp->add_option("FILE", r.argument);
    auto* imp = timers->add_subcommand("import");
    CLI::Option* import_file = imp->add_option("FILE", r.argument);
    imp->add_flag("--dry-run", dry_run.values);

    auto* send = app.add_subcommand("send");
    CLI::Option* line = send->add_option("LINE", r.argument);

    auto* scan = app.add_subcommand("scan");
    scan->add_flag("--json", json.values);

    auto* settings = app.add_subcommand("settings");
    settings->require_subcommand(0, 1);
    auto* settings_send = settings->add_subcommand("send");
    CLI::Option* digits = settings_send->add_option("DDDD", r.argument);

    auto* ir = app.add_subcommand("ir");
    ir->add_option("STATE", r.argument);

    for (auto* sub : app.get_subcommands({})) sub->fallthrough();
    for (auto* parent : {clock, timers, settings})
        for (auto* sub : parent->get_subcommands({})) sub->fallthrough();
    allow_extras_everywhere(app);

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    std::string parse_error;
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        parse_error = german_message(e);
    }
    // --help and --version win over anything else on the line.
    r.help = help.given();
    r.version = version.given();
    if (r.help || r.version) return true;
    if (!parse_error.empty()) {
        error = parse_error;
        return false;
    }
    const auto extras = all_remaining(app);
    if (!extras.empty()) {
        const std::string& first = extras.front();
        error = (first.size() > 1 && first[0] == '-' ? "Unbekannte Option " : "Unerwartetes Argument ") + quoted(first);
        return false;
    }
    for (const Flag* flag : {&json, &dry_run}) {
        if (flag->has_value()) {
            error = flag->name + " erwartet keinen Wert";
            return false;
        }
    }
    r.json = json.given();
    r.dry_run = dry_run.given();
    if (port_option->count() > 1) {
        error = "--port ist mehrfach angegeben";
        return false;
    }
    if (port_option->count() == 1) {
        // CLI11 hands a missing value on as "".
        if (ports.empty() || ports.front().empty()) {
            error = "--port erwartet einen Port als Wert";
            return false;
        }
        r.port = ports.front();
    }
    if (wait_option->count() > 1) {
        error = "--wait ist mehrfach angegeben";
        return false;
    }
    if (wait_option->count() == 1) {
        const std::string given = waits.empty() ? std::string() : waits.front();
        if (!parse_seconds(given, r.wait_s) || r.wait_s > 3600) {
            error = "--wait erwartet ganze Sekunden von 0 bis 3600, nicht " + quoted(given);
            return false;
        }
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
        if (clock->parsed())
            error = "clock erwartet sync oder shift";
        else if (timers->parsed())
            error = "timers erwartet list, export oder import";
        else if (settings->parsed())
            error = "settings erwartet send";
        else
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
    if (r.command == Command::TimersExport && export_file->count() > 0 && r.argument.empty()) {
        error = "timers export: der Dateiname ist leer (für die Standardausgabe \"-\" oder keinen Namen angeben)";
        return false;
    }
    if (r.command == Command::TimersImport && import_file->count() == 0) {
        error = "timers import erwartet eine Datei (\"-\" für die Standardeingabe)";
        return false;
    }
    if (r.command == Command::TimersImport && r.argument.empty()) {
        error = "timers import: der Dateiname ist leer (für die Standardeingabe \"-\" angeben)";
        return false;
    }
    if (r.command == Command::Send && line->count() == 0) {
        error = "send erwartet eine Befehlszeile";
        return false;
    }
    if (r.command == Command::SettingsSend && digits->count() == 0) {
        error = "settings send erwartet vier Ziffern";
        return false;
    }
    return true;
}

std::string version_text() { return "zendrill-cli " ZD_VERSION_TEXT "\n"; }

}  // namespace zd::cli
