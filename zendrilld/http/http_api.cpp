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
#include "device/text_util.h"

namespace zd::daemon {

namespace {

using json = JsonObject;

HttpResponse json_answer(const json& j, int status = 200) {
    HttpResponse r;
    r.status = status;
    r.body = j.dump();
    return r;
}

// The outcome of a request that did not succeed, as its status code.
HttpResponse failure(const Outcome& o) {
    switch (o.kind) {
        case Outcome::Kind::Refused:
        case Outcome::Kind::NotTaken: return json_error(409, o.message);
        case Outcome::Kind::Silent: return json_error(504, o.message);
        case Outcome::Kind::Unavailable:
        case Outcome::Kind::Done: break;
    }
    return json_error(503, o.message);
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

// "1".."5", else 0.
int timer_number(const std::string& s) { return s.size() == 1 && s[0] >= '1' && s[0] <= '5' ? s[0] - '0' : 0; }

bool parse_body(const HttpRequest& r, json& body, HttpResponse& error) {
    body = json::parse(r.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        error = json_error(400, "Erwartet wird ein JSON-Objekt");
        return false;
    }
    return true;
}

HttpResponse wrong_method() { return json_error(405, "Diese Methode gibt es hier nicht"); }

// The host's zone name ("Europe/Berlin"), for calendars that need one.
std::string host_zone() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) return tz[0] == ':' ? tz + 1 : tz;
    char target[256] = {};
    const ssize_t n = ::readlink("/etc/localtime", target, sizeof target - 1);
    if (n <= 0) return "";
    const std::string path(target, static_cast<std::size_t>(n));
    const auto at = path.find("zoneinfo/");
    return at == std::string::npos ? "" : path.substr(at + 9);
}

const char* const kSettingKeys[4] = {"language", "easy_function", "timer", "power_on"};

}  // namespace

HttpApi::HttpApi(const DaemonConfig& config, DevicePicture& picture, LineThread& line, System& sys, bool password)
    : config_(config), picture_(picture), line_(line), sys_(sys), password_(password), zone_(host_zone()) {}

JsonObject HttpApi::status_json(const Picture& p) const {
    json j;
    if (p.status) {
        j = state_object(*p.status, names_);
    } else {
        for (const char* key : {"record", "date", "time", "language", "easy_function", "timer", "power_on", "ir",
                                "settings", "drift_s", "read_at"})
            j[key] = nullptr;
    }
    j["link"] = link_name(p.link);
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
    AgentOutput view;
    view.state = [this, &server](const std::string&, long long, const LocalTime&) {
        server.broadcast("state", status_json(picture_.snapshot()).dump());
    };
    view.timer = [this, &server](const ListedTimer& t) {
        server.broadcast("timer", timer_json(picture_.snapshot(), t.timer).dump());
    };
    view.event = [&server](const JsonObject& e) { server.broadcast("event", e.dump()); };
    picture_.add_view(view, [&server](LinkState link) {
        server.broadcast("link", json{{"link", link_name(link)}}.dump());
    });
}

std::vector<std::pair<std::string, std::string>> HttpApi::stream_start() {
    const Picture p = picture_.snapshot();
    std::vector<std::pair<std::string, std::string>> events;
    events.push_back({"link", json{{"link", link_name(p.link)}}.dump()});
    events.push_back({"state", status_json(p).dump()});
    for (int n = 1; n <= 5; ++n) events.push_back({"timer", timer_json(p, n).dump()});
    return events;
}

void HttpApi::submit(Parsed parsed, const Responder& responder, OnDone on_done) {
    if (!parsed.ok) {
        responder->answer(json_error(400, parsed.message));
        return;
    }
    const LinkState link = picture_.snapshot().link;
    if (link == LinkState::Lent) {
        responder->answer(json_error(503, "Die Leitung ist an zendrill-cli verliehen; nichts gesendet"));
        return;
    }
    if (link == LinkState::Offline) {
        responder->answer(json_error(503, "Keine Verbindung zum Gerät; nichts gesendet"));
        return;
    }
    Request& r = parsed.request;
    r.from_mqtt = false;
    r.done = [responder, on_done](const Outcome& o) { responder->answer(o.ok() ? on_done(o) : failure(o)); };
    const LineThread::Submitted s = line_.submit(r);
    if (s != LineThread::Submitted::Queued) responder->answer(json_error(503, LineThread::not_queued_text(s)));
}

HttpResponse HttpApi::info() const {
    json j;
    j["version"] = ZD_VERSION_TEXT;
    j["raw_commands"] = config_.raw_commands;
    j["auth"] = password_;
    j["stations"] = utf8_list(std::vector<std::string>(std::begin(config_.stations), std::end(config_.stations)));
    j["settings"] = {{"language", utf8_list(names_.languages)},
                     {"easy_function", utf8_list(names_.easy_functions)},
                     {"timer", utf8_list(names_.on_off)},
                     {"power_on", utf8_list(names_.power_on)}};
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

void HttpApi::backup_upload(const HttpRequest& r, const Responder& responder) {
    const BackupImport read = read_backup_import(r.body);
    if (read.problem_count > 0) {
        json j = error_object(std::to_string(read.problem_count) +
                              (read.problem_count == 1 ? " fehlerhafte Zeile" : " fehlerhafte Zeilen") +
                              "; nichts gesendet");
        j["problems"] = utf8_list(read.problems);
        responder->answer(json_answer(j, 400));
        return;
    }
    if (!read.entries.any()) {
        responder->answer(json_error(400, "Die Datei enthält weder B203Modus noch Timer1 bis Timer5; nichts gesendet"));
        return;
    }
    const auto q = r.query.find("dry_run");
    if (q != r.query.end() && q->second != "0") {
        json lines = json::array();
        for (const std::string& c : restore_commands(read.entries))
            lines.push_back({{"command", utf8_from_1252(c)}, {"ok", nullptr}, {"result", nullptr}});
        responder->answer(json_answer({{"ok", true}, {"dry_run", true}, {"lines", lines}}));
        return;
    }
    Request req;
    req.kind = Request::Kind::Restore;
    req.command = "POST /api/backup";
    req.entries = read.entries;
    // A restore that ran answers 200 whatever its lines came to: they say
    // it, and "ok" is true only when every one was taken.
    submit(accepted(req), responder, [](const Outcome& o) {
        json j = o.data;  // "ok" and "lines" from the line's thread
        j["message"] = utf8_from_1252(o.message);
        return json_answer(j);
    });
}

void HttpApi::timers(const HttpRequest& r, const std::vector<std::string>& parts, const Responder& responder) {
    const std::string command = r.method + " " + r.path;
    if (parts.size() == 2) {
        if (r.method != "GET") return responder->answer(wrong_method());
        const Picture p = picture_.snapshot();
        json list = json::array();
        for (int n = 1; n <= 5; ++n) list.push_back(timer_json(p, n));
        return responder->answer(json_answer(list));
    }
    const int n = timer_number(parts[2]);
    if (n == 0 || parts.size() > 4) return responder->answer(json_error(404, "Timer gibt es nur mit den Nummern 1 bis 5"));
    const auto read_back = [this, n](const Outcome& o) { return done_with(timer_json(picture_.snapshot(), n), o); };
    if (parts.size() == 4) {
        if (parts[3] != "test") return responder->answer(json_error(404, "Nicht gefunden"));
        if (r.method != "POST") return responder->answer(wrong_method());
        Request req;
        req.kind = Request::Kind::TestTimer;
        req.command = command;
        req.timer = n;
        return submit(accepted(req), responder, [](const Outcome& o) { return done_with(json::object(), o); });
    }
    if (r.method == "GET") return responder->answer(json_answer(timer_json(picture_.snapshot(), n)));
    if (r.method == "DELETE") {
        Request req;
        req.kind = Request::Kind::EraseTimer;
        req.command = command;
        req.timer = n;
        return submit(accepted(req), responder, read_back);
    }
    if (r.method != "PUT") return responder->answer(wrong_method());
    json body;
    HttpResponse error;
    if (!parse_body(r, body, error)) return responder->answer(error);
    const TimerRecordInput in = timer_record_from_object(body, n);
    if (!in.problem.empty())
        return responder->answer(json_error(400, "Timer " + std::to_string(n) + ": " + in.problem));
    submit(timer_write_request(command, n, in.record), responder, read_back);
}

void HttpApi::handle(const HttpRequest& r, std::shared_ptr<HttpResponder> responder) {
    const std::vector<std::string> parts = split_path(r.path);  // "api", ...
    const std::string what = parts.size() > 1 ? parts[1] : "";
    const std::string command = r.method + " " + r.path;
    const auto status_after = [this](const Outcome& o) { return done_with(status_json(picture_.snapshot()), o); };
    const auto only = [&](const char* method, std::size_t count) {
        if (parts.size() != count) {
            responder->answer(json_error(404, "Nicht gefunden"));
            return false;
        }
        if (r.method != method) {
            responder->answer(wrong_method());
            return false;
        }
        return true;
    };
    json body;
    HttpResponse error;
    if (what == "info") {
        if (only("GET", 2)) responder->answer(info());
    } else if (what == "status") {
        if (only("GET", 2)) responder->answer(json_answer(status_json(picture_.snapshot())));
    } else if (what == "timers") {
        timers(r, parts, responder);
    } else if (what == "refresh") {
        if (!only("POST", 2)) return;
        Request req;
        req.kind = Request::Kind::Refresh;
        req.command = command;
        submit(accepted(req), responder, status_after);
    } else if (what == "clock" && parts.size() == 3 && parts[2] == "sync") {
        if (!only("POST", 3)) return;
        Request req;
        req.kind = Request::Kind::ClockSync;
        req.command = command;
        submit(accepted(req), responder, [](const Outcome& o) {
            json j;
            j["drift_s"] = o.data.value("drift_s", json(nullptr));
            return done_with(j, o);
        });
    } else if (what == "clock" && parts.size() == 3 && parts[2] == "shift") {
        if (!only("POST", 3) || !parse_body(r, body, error)) return error.body.empty() ? void() : responder->answer(error);
        const json hours = body.value("hours", json(nullptr));
        if (body.size() != 1 || !hours.is_number_integer() || (hours != 1 && hours != -1))
            return responder->answer(json_error(400, "Erwartet wird {\"hours\": 1} oder {\"hours\": -1}"));
        Request req;
        req.kind = Request::Kind::ClockShift;
        req.command = command;
        req.forward = hours == 1;
        submit(accepted(req), responder, status_after);
    } else if (what == "settings") {
        if (!only("PUT", 2) || !parse_body(r, body, error)) return error.body.empty() ? void() : responder->answer(error);
        Request req;
        req.kind = Request::Kind::Setting;
        req.command = command;
        for (const auto& [key, value] : body.items()) {
            int position = -1;
            for (int i = 0; i < 4; ++i)
                if (key == kSettingKeys[i]) position = i;
            if (position < 0)
                return responder->answer(json_error(400, "Unbekannte Einstellung \"" + shown_value(key) +
                                                             "\"; erlaubt: language, easy_function, timer, power_on"));
            std::string problem;
            if (!value.is_string() ||
                !setting_code(position, value.get<std::string>(), names_, req.settings[static_cast<std::size_t>(position)],
                              problem))
                return responder->answer(json_error(
                    400, problem.empty() ? std::string(kSettingKeys[position]) + ": ein Text wird erwartet" : problem));
        }
        if (body.empty()) return responder->answer(json_error(400, "Keine Einstellung angegeben"));
        submit(accepted(req), responder, status_after);
    } else if (what == "ir") {
        if (!only("PUT", 2) || !parse_body(r, body, error)) return error.body.empty() ? void() : responder->answer(error);
        const json ir = body.value("ir", json(nullptr));
        if (body.size() != 1 || (ir != "ein" && ir != "aus"))
            return responder->answer(json_error(400, "Erwartet wird {\"ir\": \"ein\"} oder {\"ir\": \"aus\"}"));
        Request req;
        req.kind = Request::Kind::Ir;
        req.command = command;
        req.on = ir == "ein";
        submit(accepted(req), responder, status_after);
    } else if (what == "backup") {
        if (parts.size() != 2) return responder->answer(json_error(404, "Nicht gefunden"));
        if (r.method == "GET") return responder->answer(backup_download());
        if (r.method != "POST") return responder->answer(wrong_method());
        backup_upload(r, responder);
    } else if (what == "schedule" || what == "schedule.ics") {
        if (!only("GET", 2)) return;
        const Picture p = picture_.snapshot();
        const LocalTime now = sys_.local_time();
        if (what == "schedule.ics") {
            HttpResponse cal;
            cal.content_type = "text/calendar; charset=utf-8";
            cal.body = timer_calendar(read_timers(p), config_.stations, now, config_.device_id, zone_);
            return responder->answer(cal);
        }
        const auto q = r.query.find("days");
        std::string problem;
        const int days = q == r.query.end() ? 7 : schedule_days(q->second, problem);
        if (days == 0) return responder->answer(json_error(400, problem));
        responder->answer(json_answer(schedule_object(timer_schedule(read_timers(p), now, days, config_.stations))));
    } else if (what == "send") {
        if (!config_.raw_commands)
            return responder->answer(json_error(404, "Freie Befehle sind abgeschaltet (raw_commands = off)"));
        if (!only("POST", 2) || !parse_body(r, body, error)) return error.body.empty() ? void() : responder->answer(error);
        const json line = body.value("line", json(nullptr));
        if (body.size() != 1 || !line.is_string())
            return responder->answer(json_error(400, "Erwartet wird {\"line\": \"0X\"}"));
        submit(raw_line_request(command, line.get<std::string>(), true), responder, [](const Outcome& o) {
            json j;
            j["reply"] = o.data.value("reply", std::string());
            return done_with(j, o);
        });
    } else {
        responder->answer(json_error(404, "Nicht gefunden"));
    }
}

}  // namespace zd::daemon
