// timers export and timers import: the device's timers and settings to a
// file and back.
#include "cli/cli_session.h"
#include "core/backup_file.h"
#include "core/texts.h"
#include "core/timer_backup.h"

namespace zd::cli {

namespace {

bool to_stdout(const std::string& file) { return file.empty() || file == "-"; }

// The file name as the system takes it, or a message and false.
bool system_path(const Session& s, const std::string& file, std::string& path) {
    if (s.file_name(file, path)) return true;
    s.complain("Der Dateiname " + s.shown(file) + " enthält Zeichen, die es in Windows-1252 nicht gibt; nichts gesendet");
    return false;
}

// The backup file's text ("-": standard input), or nullopt after saying
// why it cannot be read.
std::optional<std::string> read_backup_text(const Session& s, const std::string& file) {
    if (file == "-") {
        ReadResult in = s.host.io.in(kBackupFileLimit);
        if (!in.content) s.complain("Die Standardeingabe ist nicht lesbar: " + in.error + "; nichts gesendet");
        return in.content;
    }
    std::string path;
    if (!system_path(s, file, path)) return std::nullopt;
    ReadResult read = s.host.sys.read_file(path, kBackupFileLimit);
    if (!read.content) s.complain("Die Datei " + s.shown(file) + " ist nicht lesbar: " + read.error + "; nichts gesendet");
    return read.content;
}

std::string step_text(const RestoreStep& step) {
    const std::string n = std::to_string(step.timer);
    const std::string head = "Timer " + n + ": ";
    switch (step.outcome) {
        case RestoreOutcome::Written: return head + "geschrieben";
        case RestoreOutcome::Erased: return head + "gelöscht";
        case RestoreOutcome::Refused: return head + refused_text(" ");
        case RestoreOutcome::ReadBackFailed: return head + memory_read_failed(step.timer);
        case RestoreOutcome::Differs: break;
    }
    return head + "weicht nach dem Zurücklesen ab (gelesen: " + (step.read_back.empty() ? "leer" : step.read_back) +
           ")";
}

}  // namespace

int run_timers_export(Session& s) {
    const std::string& file = s.request.argument;
    std::string path;
    if (!to_stdout(file)) {
        if (!system_path(s, file, path)) return kExitFile;
        // Refused before the device is asked: a backup read for nothing
        // takes the line for seconds.
        const IoResult writable = s.host.sys.can_replace_file(path);
        if (!writable) {
            s.complain("Die Datei " + s.shown(file) + " kann nicht geschrieben werden: " + writable.error +
                       "; nichts gesendet");
            return kExitFile;
        }
    }
    if (int e = open_line(s)) return e;
    const BackupRead read = read_device_backup(s.link);
    if (!read.ok) {
        s.complain(read.failure);
        s.complain("Keine Sicherung geschrieben");
        return kExitDevice;
    }
    const std::string content = format_backup(read.backup, s.host.sys.local_time());
    if (to_stdout(file)) {
        const IoResult written = s.host.io.out_bytes(content);
        if (!written) {
            s.complain("Die Standardausgabe konnte nicht geschrieben werden: " + written.error);
            s.complain("Keine vollständige Sicherung geschrieben");
            return kExitFile;
        }
        return kExitOk;
    }
    const IoResult written = s.host.sys.replace_file(path, content);
    if (!written) {
        s.complain("Die Datei " + s.shown(file) + " konnte nicht geschrieben werden: " + written.error);
        s.complain("Keine Sicherung geschrieben");
        return kExitFile;
    }
    int set = 0;
    for (const auto& r : read.backup.records) set += r.empty() ? 0 : 1;
    s.say("Sicherung geschrieben: " + s.shown(file) + " (Einstellung " + read.backup.settings + ", " +
          std::to_string(set) + " von 5 Timern belegt)");
    return kExitOk;
}

int run_timers_import(Session& s) {
    const std::string& file = s.request.argument;
    const auto text = read_backup_text(s, file);
    if (!text) return kExitFile;
    const BackupEntries entries = read_backup_entries(*text);
    if (!entries.any()) {
        s.complain(s.shown(file) + " enthält weder B203Modus noch Timer1 bis Timer5; nichts gesendet");
        return kExitUsage;
    }
    const std::string bad = first_invalid_key(entries);
    if (!bad.empty()) {
        s.complain("Ungültiger Eintrag " + bad + " in " + s.shown(file) + "; nichts gesendet");
        return kExitUsage;
    }
    if (s.request.dry_run) {
        for (const std::string& line : restore_commands(entries)) s.say(line);
        return kExitOk;
    }
    if (int e = open_line(s)) return e;
    int failed = 0;
    restore_backup(
        s.link, s.host.clock, entries, [&](const std::string& settings) { s.say(confirm::settings_sent(settings)); },
        [&](const RestoreStep& step) {
            s.say(step_text(step));
            failed += step.ok() ? 0 : 1;
        });
    if (failed > 0) {
        s.complain(std::to_string(failed) + " Timer nicht übernommen");
        return kExitDevice;
    }
    return kExitOk;
}

}  // namespace zd::cli
