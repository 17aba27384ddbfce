#include "zendrilld/http/http_gates.h"

#include <algorithm>
#include <cstring>
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

// Whether a header's comma-separated list holds `token` (case aside), not
// ruled out by q=0.
bool lists(const std::string& header, const std::string& token) {
    std::size_t at = 0;
    while (at <= header.size()) {
        const std::size_t end = std::min(header.find(',', at), header.size());
        std::string item = lowered(header.substr(at, end - at));
        at = end + 1;
        const std::size_t semi = item.find(';');
        std::string params = semi == std::string::npos ? "" : item.substr(semi + 1);
        item = item.substr(0, semi);
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        params.erase(std::remove(params.begin(), params.end(), ' '), params.end());
        const bool refused = params == "q=0" || params == "q=0.0" || params == "q=0.00" || params == "q=0.000";
        if (item == token && !refused) return true;
    }
    return false;
}

// If-None-Match naming `etag` (or "*"); weak or strong alike, as GET allows.
bool matches(const std::string& if_none_match, const std::string& etag) {
    if (if_none_match.find('*') != std::string::npos && if_none_match.find_first_not_of(" *") == std::string::npos)
        return true;
    std::size_t at = 0;
    while (at < if_none_match.size()) {
        const std::size_t end = std::min(if_none_match.find(',', at), if_none_match.size());
        std::string tag = if_none_match.substr(at, end - at);
        at = end + 1;
        tag.erase(0, tag.find_first_not_of(" \t"));
        tag.erase(tag.find_last_not_of(" \t") + 1);
        if (tag.rfind("W/", 0) == 0) tag.erase(0, 2);
        if (tag == etag) return true;
    }
    return false;
}

GateDecision page(const HttpRequest& r, const GateHeaders& h) {
    if (r.method != "GET" && r.method != "HEAD") return refuse(wrong_method({"GET", "HEAD"}));
    const WebAsset* asset = find_web_asset(r.path);
    if (!asset) return refuse(not_found());
    HttpResponse page;
    page.content_type = asset->content_type;
    // The same file compressed is another representation: its own tag.
    const bool gzip = asset->gzip_size < asset->size && lists(h.accept_encoding, "gzip");
    const std::string etag = gzip ? std::string(asset->etag).insert(std::strlen(asset->etag) - 1, "-gz") : asset->etag;
    // Kept, but asked after each time: a new build shows at once.
    page.headers.push_back({"Cache-Control", "no-cache"});
    page.headers.push_back({"ETag", etag});
    page.headers.push_back({"Vary", "Accept-Encoding"});
    if (matches(h.if_none_match, etag)) {
        page.status = 304;
        return answer(Kind::Page, std::move(page));
    }
    if (gzip) {
        page.headers.push_back({"Content-Encoding", "gzip"});
        page.body.assign(reinterpret_cast<const char*>(asset->gzip), asset->gzip_size);
    } else {
        page.body.assign(reinterpret_cast<const char*>(asset->data), asset->size);
    }
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
    if (r.path.rfind("/api/", 0) != 0) return page(r, h);
    if (r.path == "/api/login") return login(r, auth, now);
    // The page asks first whether to show the login form: a 401 would be
    // logged as an error by every browser. It learns that and nothing else.
    if (r.path == "/api/info" && r.method == "GET" && auth.required() && h.authorization.empty() &&
        !auth.session_valid(h.session, now)) {
        HttpResponse who;
        who.body = R"({"auth":true,"logged_in":false})";
        return refuse(who);
    }
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
