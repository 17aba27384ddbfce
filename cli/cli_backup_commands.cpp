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
    const BackupRead read = read_device_backup(s.link, [&] { return s.stopping(); });
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
    const BackupImport read = read_backup_import(*text);
    if (read.problem_count > 0) {
        for (const std::string& problem : read.problems) s.complain(problem);
        if (read.problem_count > read.problems.size())
            s.complain("... und " + std::to_string(read.problem_count - read.problems.size()) + " weitere");
        s.complain(s.shown(file) + ": " + std::to_string(read.problem_count) +
                   (read.problem_count == 1 ? " fehlerhafte Zeile" : " fehlerhafte Zeilen") + "; nichts gesendet");
        return kExitUsage;
    }
    const BackupEntries& entries = read.entries;
    if (!entries.any()) {
        s.complain(s.shown(file) + " enthält weder B203Modus noch Timer1 bis Timer5; nichts gesendet");
        return kExitUsage;
    }
    if (s.request.dry_run) {
        for (const std::string& line : restore_commands(entries)) s.say(line);
        return kExitOk;
    }
    if (int e = open_line(s)) return e;
    int failed_timers = 0;
    const RestoreSummary done = restore_backup(
        s.link, s.host.clock, entries,
        [&](const Confirmed& settings) {
            s.say(settings.message);
            if (!settings.ok) s.complain(settings.message);
        },
        [&](const RestoreStep& step) {
            s.say(restore_step_text(step));
            if (step.ok()) return;
            ++failed_timers;
            s.complain(restore_step_text(step));  // a cron job sends stdout nowhere
        },
        [&] { return s.stopping(); });
    if (failed_timers > 0) s.complain(std::to_string(failed_timers) + " Timer nicht übernommen");
    if (done.silent && !done.not_sent.empty())
        s.complain("Das Gerät antwortet nicht; nicht gesendet: " + part_list(done.not_sent));
    if (done.stopped)
        s.complain("Abgebrochen; bearbeitet: " + part_list(done.done) + "; nicht gesendet: " + part_list(done.not_sent));
    return done.ok() ? kExitOk : kExitDevice;
}

}  // namespace zd::cli
