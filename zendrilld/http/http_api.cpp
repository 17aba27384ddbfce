#include "zendrilld/http/http_api.h"

#include <unistd.h>

#include <cstdlib>

#include "core/backup_file.h"
#include "core/ical.h"
#include "core/schedule.h"
#include "core/timer_backup.h"
#include "core/timer_json.h"
#include "core/utf8.h"
#include "core/version.h"
#include "device/clock_math.h"
#include "device/text_util.h"
#include "zendrilld/history.h"

namespace zd::daemon {

namespace {

using json = JsonObject;

HttpResponse json_answer(const json& j, int status = 200) {
    HttpResponse r;
    r.status = status;
    // A text that is no UTF-8 is a fault to show, not a reason to end the daemon.
    r.body = j.dump(-1, ' ', false, json::error_handler_t::replace);
    return r;
}

// The outcome of a request that did not succeed, as its status code, with
// what else it says (a restore's lines as they came out).
HttpResponse failure(const Outcome& o) {
    int status = 503;
    switch (o.kind) {
        case Outcome::Kind::Refused:
        case Outcome::Kind::NotTaken: status = 409; break;
        case Outcome::Kind::Silent: status = 504; break;
        case Outcome::Kind::Unavailable:
        case Outcome::Kind::Done: break;
    }
    json j = error_object(o.message);
    for (const auto& [key, value] : o.data.items())
        if (key != "ok") j[key] = value;
    return json_answer(j, status);
}

// `object` with "ok" and "message" of a successful outcome.
HttpResponse done_with(json object, const Outcome& o) {
    object["ok"] = true;
    object["message"] = utf8_from_1252(o.message);
    return json_answer(object);
}

std::vector<std::string> split_path(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t from = 1;
    while (from <= path.size()) {
        const auto slash = path.find('/', from);
        parts.push_back(path.substr(from, slash == std::string::npos ? std::string::npos : slash - from));
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    return parts;
}


bool parse_body(const HttpRequest& r, json& body, HttpResponse& error) {
    body = json::parse(r.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        error = json_error(400, "Erwartet wird ein JSON-Objekt");
        return false;
    }
    return true;
}

const std::vector<std::string> kDaysMondayFirst = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};

std::vector<std::string> source_names() {
    std::vector<std::string> names;
    for (char d = '0'; d <= '4'; ++d) names.push_back(source_name(std::string(1, d)));
    return names;
}

// A host time of the journal as the API writes times: "2026-12-09T10:33:11+01:00".
std::string iso_at(long long unix_s, int offset_min) {
    const CivilTime c = civil_time(unix_s - 946684800LL + offset_min * 60LL);
    return iso_local_time(LocalTime{c.year, c.month, c.day, c.hour, c.minute, c.second, 0, offset_min});
}

// A whole number of at most 15 digits, else -1.
long long whole_number(const std::string& v) {
    if (v.empty() || v.size() > 15) return -1;
    for (char c : v)
        if (c < '0' || c > '9') return -1;
    return std::stoll(v);
}

// The request as the log names it.
std::string command_of(const HttpRequest& r) { return r.method + " " + r.path; }


}  // namespace

HttpApi::HttpApi(const DaemonConfig& config, DevicePicture& picture, LineThread& line, System& sys, bool password,
                 Journal* journal)
    : config_(config),
      picture_(picture),
      line_(line),
      sys_(sys),
      password_(password),
      zone_(sys.zone_name()),
      journal_(journal) {}

JsonObject HttpApi::status_json(const Picture& p) const {
    json j;
    if (p.status) {
        j = state_object(*p.status, names_);
    } else {
        for (const char* key : {"record", "date", "time", "language", "easy_function", "timer", "power_on", "ir",
                                "settings", "drift_s", "read_at"})
            j[key] = nullptr;
    }
    j["link"] = link_name(p.link());
    return j;
}

JsonObject HttpApi::timer_json(const Picture& p, int n) const {
    const auto& t = p.timers[static_cast<std::size_t>(n - 1)];
    if (t) return timer_view_object(*t, config_);
    ListedTimer unread;
    unread.timer = n;
    json j = timer_view_object(unread, config_);
    j["state"] = "unknown";
    j["summary"] = "";
    return j;
}

std::vector<ListedTimer> HttpApi::read_timers(const Picture& p) const {
    std::vector<ListedTimer> timers;
    for (const auto& t : p.timers)
        if (t) timers.push_back(*t);
    return timers;
}

void HttpApi::attach(HttpServer& server) {
    picture_.add_view([this, &server](const Picture& p, const Change& c) {
        switch (c.what) {
            case Change::What::Status: server.broadcast("state", status_json(p).dump()); break;
            case Change::What::Timer: server.broadcast("timer", timer_json(p, c.timer).dump()); break;
            case Change::What::Event: server.broadcast("event", c.event.dump()); break;
            case Change::What::Link: server.broadcast("link", json{{"link", link_name(p.link())}}.dump()); break;
            case Change::What::ClockRate: server.broadcast("clock_rate", clock_rate_object(p.clock_rate).dump()); break;
            case Change::What::Answering:
            case Change::What::Reply: break;
        }
    });
    // Open pages read the new entries themselves; this only says there are some.
    if (journal_) journal_->on_written([&server](long long newest) { server.broadcast("history", json{{"newest", newest}}.dump()); });
}

std::vector<std::pair<std::string, std::string>> HttpApi::stream_start() {
    const Picture p = picture_.snapshot();
    std::vector<std::pair<std::string, std::string>> events;
    events.push_back({"link", json{{"link", link_name(p.link())}}.dump()});
    events.push_back({"state", status_json(p).dump()});
    for (int n = 1; n <= 5; ++n) events.push_back({"timer", timer_json(p, n).dump()});
    events.push_back({"clock_rate", clock_rate_object(p.clock_rate).dump()});
    return events;
}

void HttpApi::submit(Parsed parsed, const Responder& responder, OnDone on_done) {
    if (!parsed.ok) {
        responder->answer(json_error(400, parsed.message));
        return;
    }
    Request& r = parsed.request;
    r.asker = Door::Web;
    r.reply = [responder, on_done](const Outcome& o) { responder->answer(o.ok() ? on_done(o) : failure(o)); };
    // The answer shows the state the change left, read back first.
    r.reply_when = ReplyWhen::Settled;
    r.claim = std::make_shared<Claim>();
    responder->answers_for(r.claim);
    // A page shows at once what cannot be done now, rather than wait out a loan.
    line_.submit(std::move(r), WhenAway::Refuse);
}

HttpResponse HttpApi::info() const {
    json j;
    j["version"] = ZD_VERSION_TEXT;
    j["raw_commands"] = config_.raw_commands;
    j["auth"] = password_;
    j["stations"] = utf8_list(std::vector<std::string>(std::begin(config_.stations), std::end(config_.stations)));
    // The page shows every name from here and keeps no copy.
    json settings = json::object(), labels = json::object();
    for (const SettingField& f : kSettingFields) {
        settings[f.key] = utf8_list(f.values(names_));
        labels[f.key] = utf8_from_1252(f.label);
    }
    j["settings"] = settings;
    j["setting_labels"] = labels;
    j["days"] = utf8_list(kDaysMondayFirst);
    j["sources"] = utf8_list(source_names());
    j["targets"] = utf8_list(std::vector<std::string>(std::begin(kTargetNames), std::end(kTargetNames)));
    return json_answer(j);
}

HttpResponse HttpApi::backup_download() const {
    const Picture p = picture_.snapshot();
    Backup b;
    if (!p.status) return json_error(503, "Noch kein Gerätestatus gelesen; keine Sicherung");
    b.settings = status_settings(p.status->record);
    for (int n = 1; n <= 5; ++n) {
        const auto& t = p.timers[static_cast<std::size_t>(n - 1)];
        if (!t || t->reading.state == TimerState::Failed)
            return json_error(503, "Timer " + std::to_string(n) + " ist noch nicht gelesen; keine Sicherung");
        const std::string problem = backup_timer_problem(n, t->reading);
        if (!problem.empty()) return json_error(503, problem + "; keine Sicherung");
        b.records[n - 1] = t->reading.state == TimerState::Set ? t->reading.record : "";
    }
    const LocalTime now = sys_.local_time();
    HttpResponse r;
    r.content_type = "text/plain; charset=windows-1252";
    r.body = format_backup(b, now);
    r.headers.push_back({"Content-Disposition", "attachment; filename=\"b203-" + std::to_string(now.year) + "-" +
                                                    two_digit(now.month) + "-" + two_digit(now.day) + ".ini\""});
    return r;
}

void HttpApi::backup_upload(const Call& call) {
    const HttpRequest& r = call.request;
    const Responder& responder = call.responder;
    const BackupImport read = read_backup_import(r.body);
    if (read.problem_count > 0) {
        json j = error_object(std::to_string(read.problem_count) +
                              (read.problem_count == 1 ? " fehlerhafte Zeile" : " fehlerhafte Zeilen") +
                              "; nichts gesendet");
        j["problems"] = utf8_list(read.problems);
        responder->answer(json_answer(j, 400));
        return;
    }
    Parsed restore = restore_request(command_of(r), read.entries);
    if (!restore.ok) return responder->answer(json_error(400, restore.message));
    const auto q = r.query.find("dry_run");
    if (q != r.query.end() && q->second != "0") {
        json lines = json::array();
        const std::vector<std::string> texts = restore_texts(read.entries, config_.stations, names_);
        const std::vector<std::string> commands = restore_commands(read.entries);
        for (std::size_t i = 0; i < commands.size(); ++i)
            lines.push_back({{"command", utf8_from_1252(commands[i])},
                             {"text", i < texts.size() ? utf8_from_1252(texts[i]) : ""},
                             {"ok", nullptr},
                             {"result", nullptr}});
        responder->answer(json_answer({{"ok", true}, {"dry_run", true}, {"lines", lines}}));
        return;
    }
    // A restore that ran answers 200 whatever its lines came to: they say
    // it, and "ok" is true only when every one was taken.
    submit(std::move(restore), responder, [](const Outcome& o) {
        json j = o.data;  // "ok" and "lines" from the line's thread
        j["message"] = utf8_from_1252(o.message);
        return json_answer(j);
    });
}

constexpr bool kJsonBody = true, kNoBody = false;

// Each route: what it reads from the request, which constructor it maps it
// onto, and what a success answers. The HTTP thread calls them.
const std::vector<HttpApi::Route>& HttpApi::routes() {
    using C = const Call&;
    static const std::vector<Route> table = {
        {"GET", "info", kNoBody, [](HttpApi& a, C c) { c.responder->answer(a.info()); }},
        {"GET", "status", kNoBody,
         [](HttpApi& a, C c) { c.responder->answer(json_answer(a.status_json(a.picture_.snapshot()))); }},
        {"GET", "timers", kNoBody,
         [](HttpApi& a, C c) {
             const Picture p = a.picture_.snapshot();
             json list = json::array();
             for (int n = 1; n <= 5; ++n) list.push_back(a.timer_json(p, n));
             c.responder->answer(json_answer(list));
         }},
        {"GET", "timers/#", kNoBody, [](HttpApi& a, C c) { c.responder->answer(json_answer(a.timer_json(a.picture_.snapshot(), c.timer))); }},
        {"PUT", "timers/#", kJsonBody,
         [](HttpApi& a, C c) {
             json fields = c.body;
             std::optional<std::string> expect;
             if (fields.contains("expect")) {
                 const json e = fields["expect"];
                 fields.erase("expect");
                 std::string text;
                 if (!e.is_string() || !utf8_to_1252(e.get<std::string>(), text))
                     return c.responder->answer(
                         json_error(400, "Timer " + std::to_string(c.timer) + ": expect: Text erwartet"));
                 expect = text;
             }
             const TimerRecordInput in = timer_record_from_object(fields, c.timer);
             if (!in.problem.empty())
                 return c.responder->answer(json_error(400, "Timer " + std::to_string(c.timer) + ": " + in.problem));
             a.submit(timer_write_request(command_of(c.request), c.timer, in.record, expect), c.responder,
                      a.timer_after(c.timer));
         }},
        {"DELETE", "timers/#", kNoBody,
         [](HttpApi& a, C c) {
             a.submit(timer_erase_request(command_of(c.request), c.timer), c.responder, a.timer_after(c.timer));
         }},
        {"POST", "timers/#/test", kNoBody,
         [](HttpApi& a, C c) {
             a.submit(timer_test_request(command_of(c.request), c.timer), c.responder,
                      [](const Outcome& o) { return done_with(json::object(), o); });
         }},
        {"POST", "refresh", kNoBody,
         [](HttpApi& a, C c) { a.submit(refresh_request(command_of(c.request)), c.responder, a.status_after()); }},
        {"POST", "clock/sync", kNoBody,
         [](HttpApi& a, C c) {
             a.submit(clock_sync_request(command_of(c.request)), c.responder, [](const Outcome& o) {
                 json j;
                 j["drift_s"] = o.data.value("drift_s", json(nullptr));
                 return done_with(j, o);
             });
         }},
        {"POST", "clock/shift", kJsonBody,
         [](HttpApi& a, C c) {
             const json& body = c.body;
             const json hours = body.value("hours", json(nullptr));
             if (body.size() != 1 || !hours.is_number_integer() || (hours != 1 && hours != -1))
                 return c.responder->answer(json_error(400, "Erwartet wird {\"hours\": 1} oder {\"hours\": -1}"));
             a.submit(clock_shift_request(command_of(c.request), hours == 1), c.responder, a.status_after());
         }},
        {"PUT", "settings", kJsonBody,
         [](HttpApi& a, C c) {
             const json& body = c.body;
             std::map<const SettingField*, std::string> values;
             for (const auto& [key, value] : body.items()) {
                 const SettingField* f = setting_by_key(key);
                 if (!f)
                     return c.responder->answer(json_error(400, "Unbekannte Einstellung \"" + shown_value(key) +
                                                                    "\"; erlaubt: language, easy_function, timer, power_on"));
                 if (!value.is_string())
                     return c.responder->answer(json_error(400, std::string(f->key) + ": ein Text wird erwartet"));
                 values[f] = value.get<std::string>();
             }
             a.submit(settings_request(command_of(c.request), values, a.names_), c.responder, a.status_after());
         }},
        {"PUT", "ir", kJsonBody,
         [](HttpApi& a, C c) {
             const json& body = c.body;
             const json ir = body.value("ir", json(nullptr));
             if (body.size() != 1 || (ir != "ein" && ir != "aus"))
                 return c.responder->answer(json_error(400, "Erwartet wird {\"ir\": \"ein\"} oder {\"ir\": \"aus\"}"));
             a.submit(ir_request(command_of(c.request), ir == "ein"), c.responder, a.status_after());
         }},
        {"GET", "backup", kNoBody, [](HttpApi& a, C c) { c.responder->answer(a.backup_download()); }},
        {"GET", "history", kNoBody, [](HttpApi& a, C c) { c.responder->answer(a.history(c.request)); }},
        {"POST", "history/*/undo", kNoBody, [](HttpApi& a, C c) { a.undo(c); }},
        {"GET", "clock", kNoBody, [](HttpApi& a, C c) { c.responder->answer(a.clock_history()); }},
        {"POST", "backup", kNoBody, [](HttpApi& a, C c) { a.backup_upload(c); }},
        {"GET", "schedule", kNoBody,
         [](HttpApi& a, C c) {
             const auto q = c.request.query.find("days");
             std::string problem;
             const int days = q == c.request.query.end() ? 7 : schedule_days(q->second, problem);
             if (days == 0) return c.responder->answer(json_error(400, problem));
             c.responder->answer(json_answer(schedule_object(
                 timer_schedule(a.read_timers(a.picture_.snapshot()), a.sys_.local_time(), days, a.config_.stations))));
         }},
        {"GET", "schedule.ics", kNoBody,
         [](HttpApi& a, C c) {
             HttpResponse cal;
             cal.content_type = "text/calendar; charset=utf-8";
             cal.body = timer_calendar(a.read_timers(a.picture_.snapshot()), a.config_.stations, a.sys_.local_time(),
                                       a.config_.device_id, a.zone_);
             c.responder->answer(cal);
         }},
        {"POST", "send", kJsonBody,
         [](HttpApi& a, C c) {
             const json& body = c.body;
             const json line = body.value("line", json(nullptr));
             if (body.size() != 1 || !line.is_string())
                 return c.responder->answer(json_error(400, "Erwartet wird {\"line\": \"0X\"}"));
             a.submit(raw_line_request(command_of(c.request), line.get<std::string>(), true), c.responder,
                      [](const Outcome& o) {
                          json j;
                          j["reply"] = o.data.value("reply", std::string());
                          return done_with(j, o);
                      });
         }},
    };
    return table;
}

HttpApi::OnDone HttpApi::status_after() {
    return [this](const Outcome& o) { return done_with(status_json(picture_.snapshot()), o); };
}

HttpApi::OnDone HttpApi::timer_after(int n) {
    return [this, n](const Outcome& o) { return done_with(timer_json(picture_.snapshot(), n), o); };
}

void HttpApi::handle(const HttpRequest& r, std::shared_ptr<HttpResponder> responder) {
    std::vector<std::string> parts = split_path(r.path);  // "api", ...
    parts.erase(parts.begin());
    if (!parts.empty() && parts[0] == "send" && !config_.raw_commands)
        return responder->answer(json_error(404, "Freie Befehle sind abgeschaltet (raw_commands = off)"));
    Call call{r, responder, 0, 0, json()};
    std::vector<std::string> allowed;
    for (const Route& route : routes()) {
        const std::vector<std::string> pattern = split_path(std::string("/") + route.path);
        if (pattern.size() != parts.size()) continue;
        int timer = 0;
        long long id = 0;
        bool match = true;
        for (std::size_t i = 0; i < parts.size() && match; ++i) {
            if (pattern[i] == "*") {
                id = whole_number(parts[i]);
                match = id > 0;
            } else if (pattern[i] == "#") {
                timer = timer_number(parts[i]);
                match = timer != 0;
            } else {
                match = pattern[i] == parts[i];
            }
        }
        if (!match) continue;
        if (route.method != r.method) {
            allowed.push_back(route.method);
            continue;
        }
        call.timer = timer;
        call.id = id;
        HttpResponse error;
        if (route.body && !parse_body(r, call.body, error)) return responder->answer(error);
        return route.run(*this, call);
    }
    if (!allowed.empty()) return responder->answer(wrong_method(allowed));
    if (parts.size() > 1 && parts[0] == "timers" && timer_number(parts[1]) == 0)
        return responder->answer(json_error(404, kNoSuchTimer));
    responder->answer(not_found());
}

std::string HttpApi::history_problem() const {
    if (!journal_) return unavailable_text("journal_file ist leer");
    const std::string p = journal_->problem();
    return p.empty() ? "" : unavailable_text(p);
}

HttpResponse HttpApi::history(const HttpRequest& r) {
    HistoryQuery q;
    const auto arg = [&](const char* key) -> const std::string* {
        const auto it = r.query.find(key);
        return it == r.query.end() ? nullptr : &it->second;
    };
    if (const std::string* v = arg("before")) {
        q.before = whole_number(*v);
        if (q.before < 1) return json_error(400, "before: eine Eintragsnummer wird erwartet");
    }
    if (const std::string* v = arg("limit")) {
        const long long n = whole_number(*v);
        if (n < 1 || n > 200) return json_error(400, "limit: erlaubt ist eine ganze Zahl von 1 bis 200");
        q.limit = static_cast<int>(n);
    }
    if (const std::string* v = arg("kind")) {
        if (!is_journal_kind(*v))
            return json_error(400, "kind: erlaubt sind " + journal_kinds_text());
        q.kind = *v;
    }
    if (const std::string* v = arg("timer")) {
        q.timer = timer_number(*v);
        if (q.timer == 0) return json_error(400, kNoSuchTimer);
    }
    const std::string unavailable = history_problem();
    if (!unavailable.empty()) return json_error(503, unavailable);
    HistoryPage page;
    std::string problem;
    if (!journal_->history(q, page, problem)) return json_error(503, unavailable_text(problem));
    json entries = json::array();
    const Picture now = picture_.snapshot();
    for (const JournalEntry& e : page.entries) {
        json j;
        j["id"] = e.id;
        j["at"] = iso_at(e.at, e.offset_min);
        j["device_at"] = e.drift_s ? json(iso_at(e.at + *e.drift_s, e.offset_min)) : json(nullptr);
        j["kind"] = e.kind;
        j["door"] = utf8_from_1252(door_name(e.door));
        j["timer"] = e.timer > 0 ? json(e.timer) : json(nullptr);
        j["ok"] = e.ok;
        j["before"] = e.before ? json(utf8_from_1252(*e.before)) : json(nullptr);
        j["after"] = e.after ? json(utf8_from_1252(*e.after)) : json(nullptr);
        j["text"] = history_sentence(e, names_);
        j["undo"] = can_undo(e) && still_holds(e, now);
        entries.push_back(j);
    }
    return json_answer({{"entries", entries}, {"more", page.more}});
}

HttpResponse HttpApi::clock_history() {
    const Picture p = picture_.snapshot();
    json j;
    j["rate"] = clock_rate_object(p.clock_rate);
    const long long now = unix_seconds(sys_.local_time());
    j["now"] = now;
    j["readings"] = json::array();
    j["corrections"] = json::array();
    const std::string unavailable = history_problem();
    j["problem"] = unavailable.empty() ? json(nullptr) : json(utf8_from_1252(unavailable));
    if (!unavailable.empty()) return json_answer(j);
    std::vector<ClockReading> readings;
    std::vector<JournalEntry> clock;
    std::string problem;
    // 30 days in quarter hours: enough for a drawing a phone's width wide.
    if (!journal_->clock_history(now - 30LL * 86400, 900, readings, clock, problem)) {
        j["problem"] = utf8_from_1252(unavailable_text(problem));
        return json_answer(j);
    }
    for (const ClockReading& r : readings) j["readings"].push_back(json::array({r.at, r.drift_s}));
    for (const JournalEntry& e : clock) {
        if (!e.ok) continue;
        const auto seconds = [](const std::optional<std::string>& v) {
            return v ? json(std::atoll(v->c_str())) : json(nullptr);
        };
        j["corrections"].push_back({{"at", e.at},
                                    {"before", seconds(e.before)},
                                    {"after", seconds(e.after)},
                                    {"door", utf8_from_1252(door_name(e.door))},
                                    {"text", history_sentence(e, names_)}});
    }
    return json_answer(j);
}

void HttpApi::undo(const Call& c) {
    const std::string unavailable = history_problem();
    if (!unavailable.empty()) return c.responder->answer(json_error(503, unavailable));
    const std::optional<JournalEntry> e = journal_->entry(c.id);
    const std::string name = "Eintrag " + std::to_string(c.id);
    if (!e) return c.responder->answer(json_error(404, name + " gibt es nicht"));
    if (!can_undo(*e)) return c.responder->answer(json_error(409, name + " lässt sich nicht rückgängig machen"));
    const std::string command = command_of(c.request);
    Parsed parsed;
    OnDone done;
    if (e->kind == kind::kTimer) {
        // The state before, only while the device still holds the state after.
        parsed = e->before->empty() ? timer_erase_request(command, e->timer)
                                    : timer_write_request(command, e->timer, *e->before);
        parsed.request.expect = *e->after;
        done = timer_after(e->timer);
    } else {
        parsed = settings_undo_request(command, *e->before, *e->after);
        done = status_after();
    }
    parsed.request.undo_of = e->id;
    submit(std::move(parsed), c.responder, done);
}

}  // namespace zd::daemon
