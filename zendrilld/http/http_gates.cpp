#include "zendrilld/http/http_gates.h"

#include <optional>

#include "zendrilld/http/web_assets.h"

namespace zd::daemon {

namespace {

using Kind = GateDecision::Kind;

GateDecision answer(Kind kind, HttpResponse response) {
    GateDecision d;
    d.kind = kind;
    d.response = std::move(response);
    return d;
}

GateDecision refuse(HttpResponse response) { return answer(Kind::Refuse, std::move(response)); }

GateDecision hold(Steady::time_point until) {
    GateDecision d;
    d.kind = Kind::Hold;
    d.hold_until = until;
    return d;
}

bool changes_something(const std::string& method) { return method == "POST" || method == "PUT" || method == "DELETE"; }

GateDecision page(const HttpRequest& r) {
    if (r.method != "GET" && r.method != "HEAD") return refuse(wrong_method({"GET", "HEAD"}));
    const WebAsset* asset = find_web_asset(r.path);
    if (!asset) return refuse(not_found());
    HttpResponse page;
    page.content_type = asset->content_type;
    page.body.assign(reinterpret_cast<const char*>(asset->data), asset->size);
    page.headers.push_back({"Content-Security-Policy",
                            "default-src 'self'; img-src 'self' data:; object-src 'none'; base-uri 'none'; "
                            "form-action 'self'; frame-ancestors 'none'"});
    return answer(Kind::Page, std::move(page));
}

GateDecision login(const HttpRequest& r, HttpAuth& auth, Steady::time_point now) {
    if (r.method != "POST") return refuse(wrong_method({"POST"}));
    // No answer before the wait is over: guessing stays slow.
    const Steady::time_point not_before = auth.answer_not_before(r.client, now);
    if (now < not_before) return hold(not_before);
    const JsonObject body = JsonObject::parse(r.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("password") || !body["password"].is_string())
        return refuse(json_error(400, "Erwartet: {\"password\": \"...\"}"));
    HttpResponse in;
    in.status = 204;
    if (!auth.required()) return answer(Kind::LoggedIn, in);
    if (!auth.password_matches(body["password"].get<std::string>())) {
        const bool first = auth.wrong_answered(r.client, now);
        GateDecision d = refuse(json_error(401, "Falsches Passwort"));
        // One line opens a spell of guesses; the rest is summed up after it.
        if (first) d.log = "Falsches Passwort für die Web-Seite von " + r.client;
        return d;
    }
    auth.right(r.client);
    in.headers.push_back({"Set-Cookie", std::string(kSessionCookie) + "=" + auth.open_session(now) +
                                            "; HttpOnly; SameSite=Strict; Path=/; Max-Age=" +
                                            std::to_string(HttpAuth::kSession.count())});
    return answer(Kind::LoggedIn, in);
}

GateDecision logout(const HttpRequest& r, const GateHeaders& h, HttpAuth& auth) {
    if (r.method != "POST") return refuse(wrong_method({"POST"}));
    auth.close_session(h.session);
    HttpResponse bye;
    bye.status = 204;
    bye.headers.push_back(
        {"Set-Cookie", std::string(kSessionCookie) + "=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0"});
    GateDecision d = answer(Kind::LoggedOut, bye);
    d.session = h.session;
    return d;
}

// Null when the client may go on; else why not.
std::optional<GateDecision> not_authorised(const HttpRequest& r, const GateHeaders& h, HttpAuth& auth,
                                           Steady::time_point now) {
    if (!auth.required()) return std::nullopt;
    if (auth.session_valid(h.session, now)) return std::nullopt;
    const GateDecision who = refuse(json_error(401, "Anmeldung nötig"));
    std::string password;
    if (!basic_password(h.authorization, password)) return who;
    const Steady::time_point not_before = auth.answer_not_before(r.client, now);
    if (now < not_before) return hold(not_before);
    if (auth.password_matches(password)) {
        auth.right(r.client);
        return std::nullopt;
    }
    auth.wrong_answered(r.client, now);
    return who;
}

}  // namespace

GateDecision pass_gates(const HttpRequest& r, const GateHeaders& h, const AccessRules& rules, HttpAuth& auth,
                        Steady::time_point now) {
    // A page of another site whose name resolves to us (DNS rebinding).
    if (!host_allowed(rules, h.host, r.local))
        return refuse(json_error(403, "Unbekannter Host-Name \"" + h.host.substr(0, 100) +
                                          "\"; erlaubt sind die Adresse des Servers und http_hosts"));
    if (changes_something(r.method) && !origin_allowed(h.origin, h.host))
        return refuse(json_error(403, "Anfrage von einer anderen Seite abgelehnt"));
    if (r.path.rfind("/api/", 0) != 0) return page(r);
    if (r.path == "/api/login") return login(r, auth, now);
    if (std::optional<GateDecision> no = not_authorised(r, h, auth, now)) return *no;
    if (r.path == "/api/logout") return logout(r, h, auth);
    if (r.path == "/api/events") {
        if (r.method != "GET") return refuse(wrong_method({"GET"}));
        GateDecision d;
        d.kind = Kind::Stream;
        if (auth.required() && auth.session_valid(h.session, now)) d.session = h.session;
        return d;
    }
    GateDecision d;
    d.kind = Kind::Api;
    return d;
}

}  // namespace zd::daemon
