#include <gtest/gtest.h>

#include "zendrilld/http/http_gates.h"
#include "zendrilld/http/web_assets.h"

namespace zd::daemon {
namespace {

using Kind = GateDecision::Kind;
using std::chrono::milliseconds;

Steady::time_point gate_at(long long ms) { return Steady::time_point{} + milliseconds(ms); }

// "Basic " + base64 of "jemand:geheim", ":geheim" and "jemand:falsch".
constexpr const char* kRight = "Basic amVtYW5kOmdlaGVpbQ==";
constexpr const char* kRightNoUser = "Basic OmdlaGVpbQ==";
constexpr const char* kWrong = "Basic amVtYW5kOmZhbHNjaA==";
constexpr const char* kCsp =
    "default-src 'self'; img-src 'self' data:; object-src 'none'; base-uri 'none'; form-action 'self'; "
    "frame-ancestors 'none'";

const char* kind_name(Kind k) {
    switch (k) {
        case Kind::Page: return "Page";
        case Kind::Refuse: return "Refuse";
        case Kind::Hold: return "Hold";
        case Kind::LoggedIn: return "LoggedIn";
        case Kind::LoggedOut: return "LoggedOut";
        case Kind::Api: return "Api";
        case Kind::Stream: return "Stream";
    }
    return "?";
}

AccessRules gate_rules() {
    AccessRules r;
    std::string error;
    r.listen = *parse_listen_address("127.0.0.1:8203", error);
    r.hosts = {"hifi.local"};
    return r;
}

HttpAuth make_auth(const std::string& password) {
    auto n = std::make_shared<int>(0);
    return HttpAuth(password, [n] { return "token" + std::to_string(++*n); });
}

// The error text of a JSON error body, UTF-8; empty when there is none.
std::string error_of(const HttpResponse& r) {
    const JsonObject j = JsonObject::parse(r.body, nullptr, false);
    if (!j.is_object() || !j.contains("error")) return "";
    return j["error"].get<std::string>();
}

std::string header_of(const HttpResponse& r, const std::string& name) {
    for (const auto& [n, v] : r.headers)
        if (n == name) return v;
    return "";
}

// One request as the gates see it; what is not given is absent.
struct Ask {
    Ask(const char* method_, const char* path_, std::string host_ = "127.0.0.1:8203", std::string origin_ = "",
        std::string session_ = "", std::string authorization_ = "", std::string body_ = "",
        std::string client_ = "10.0.0.9")
        : method(method_),
          path(path_),
          host(std::move(host_)),
          origin(std::move(origin_)),
          session(std::move(session_)),
          authorization(std::move(authorization_)),
          body(std::move(body_)),
          client(std::move(client_)) {}
    const char* method;
    const char* path;
    std::string host, origin, session, authorization, body, client;
    std::string accept_encoding, if_none_match;  // set after construction
};

GateDecision ask(const Ask& a, HttpAuth& auth, Steady::time_point now) {
    HttpRequest r;
    r.method = a.method;
    r.path = a.path;
    r.body = a.body;
    r.client = a.client;
    return pass_gates(r, GateHeaders{a.host, a.origin, a.session, a.authorization, a.accept_encoding, a.if_none_match},
                      gate_rules(), auth, now);
}

// Each request on its own, against a password and one open session
// ("token1"): which gate answers, with which status, text and header.
TEST(HttpGates, EachRequestMeetsTheGateMeantForIt) {
    const struct {
        const char* why;
        Ask ask;
        Kind kind;
        int status;          // for an answer
        const char* error;   // UTF-8; "" when none is checked
        const char* header;  // a header to look at, or null
        const char* value;
    } cases[] = {
        // Host: DNS rebinding is refused before anything else.
        {"a foreign host", {"GET", "/api/status", "evil.example", "", "token1"}, Kind::Refuse, 403,
         u8"Unbekannter Host-Name \"evil.example\"; erlaubt sind die Adresse des Servers und http_hosts", nullptr, ""},
        {"a foreign host, a page", {"GET", "/", "evil.example:8203"}, Kind::Refuse, 403, "", nullptr, ""},
        {"no host", {"GET", "/", ""}, Kind::Refuse, 403,
         u8"Unbekannter Host-Name \"\"; erlaubt sind die Adresse des Servers und http_hosts", nullptr, ""},
        {"localhost, any port", {"GET", "/api/status", "localhost:9", "", "token1"}, Kind::Api, 0, "", nullptr, ""},
        {"a configured host", {"GET", "/api/status", "hifi.local:8080", "", "token1"}, Kind::Api, 0, "", nullptr, ""},
        {"a foreign host before a login",
         {"POST", "/api/login", "evil.example", "", "", "", R"({"password": "geheim"})"}, Kind::Refuse, 403, "",
         nullptr, ""},
        // Origin: checked on changes only.
        {"POST from another site", {"POST", "/api/refresh", "127.0.0.1:8203", "http://evil.example", "token1"},
         Kind::Refuse, 403, u8"Anfrage von einer anderen Seite abgelehnt", nullptr, ""},
        {"PUT from another site", {"PUT", "/api/ir", "127.0.0.1:8203", "http://evil.example", "", kRight},
         Kind::Refuse, 403, u8"Anfrage von einer anderen Seite abgelehnt", nullptr, ""},
        {"DELETE from another site", {"DELETE", "/api/timers/1", "127.0.0.1:8203", "null", "token1"}, Kind::Refuse,
         403, u8"Anfrage von einer anderen Seite abgelehnt", nullptr, ""},
        {"a login from another site", {"POST", "/api/login", "127.0.0.1:8203", "http://evil.example"}, Kind::Refuse,
         403, u8"Anfrage von einer anderen Seite abgelehnt", nullptr, ""},
        {"GET from another site reads", {"GET", "/api/status", "127.0.0.1:8203", "http://evil.example", "token1"},
         Kind::Api, 0, "", nullptr, ""},
        {"PUT from the same origin", {"PUT", "/api/ir", "127.0.0.1:8203", "http://127.0.0.1:8203", "token1"},
         Kind::Api, 0, "", nullptr, ""},
        {"PUT without an origin (a script)", {"PUT", "/api/ir", "127.0.0.1:8203", "", "", kRight}, Kind::Api, 0, "",
         nullptr, ""},
        // The page's files: GET and HEAD only, no password.
        {"the page", {"GET", "/"}, Kind::Page, 200, "", "Content-Security-Policy", kCsp},
        {"the page, HEAD", {"HEAD", "/app.js"}, Kind::Page, 200, "", "Content-Security-Policy", kCsp},
        {"POST to a file", {"POST", "/"}, Kind::Refuse, 405, u8"Diese Methode gibt es hier nicht", "Allow",
         "GET, HEAD"},
        {"PUT to a file", {"PUT", "/app.js"}, Kind::Refuse, 405, "", "Allow", "GET, HEAD"},
        {"no such file", {"GET", "/nichts.html"}, Kind::Refuse, 404, u8"Nicht gefunden", nullptr, ""},
        {"no such file, POST", {"POST", "/nichts.html"}, Kind::Refuse, 405, "", "Allow", "GET, HEAD"},
        {"/api without the slash is a file", {"GET", "/api"}, Kind::Refuse, 404, "", nullptr, ""},
        // The API: a session or the password.
        {"nothing", {"GET", "/api/status"}, Kind::Refuse, 401, u8"Anmeldung nötig", nullptr, ""},
        {"a session", {"GET", "/api/status", "127.0.0.1:8203", "", "token1"}, Kind::Api, 0, "", nullptr, ""},
        {"an unknown session", {"GET", "/api/status", "127.0.0.1:8203", "", "token2"}, Kind::Refuse, 401,
         u8"Anmeldung nötig", nullptr, ""},
        {"Basic with a user", {"GET", "/api/status", "127.0.0.1:8203", "", "", kRight}, Kind::Api, 0, "", nullptr,
         ""},
        {"Basic without one", {"GET", "/api/status", "127.0.0.1:8203", "", "", kRightNoUser}, Kind::Api, 0, "",
         nullptr, ""},
        {"Basic, wrong", {"GET", "/api/status", "127.0.0.1:8203", "", "", kWrong}, Kind::Refuse, 401,
         u8"Anmeldung nötig", nullptr, ""},
        {"another scheme", {"GET", "/api/status", "127.0.0.1:8203", "", "", "Bearer geheim"}, Kind::Refuse, 401,
         u8"Anmeldung nötig", nullptr, ""},
        {"an unknown route passes on", {"GET", "/api/nichts", "127.0.0.1:8203", "", "token1"}, Kind::Api, 0, "",
         nullptr, ""},
        // The page asks whether to log in without a 401 a browser would log;
        // a script with a wrong password still hears 401.
        {"the page's first question", {"GET", "/api/info"}, Kind::Refuse, 200, "", nullptr, ""},
        {"info with a session", {"GET", "/api/info", "127.0.0.1:8203", "", "token1"}, Kind::Api, 0, "", nullptr, ""},
        {"info, Basic wrong", {"GET", "/api/info", "127.0.0.1:8203", "", "", kWrong}, Kind::Refuse, 401,
         u8"Anmeldung nötig", nullptr, ""},
        // The event stream: GET only, behind the password.
        {"the stream", {"GET", "/api/events", "127.0.0.1:8203", "", "token1"}, Kind::Stream, 0, "", nullptr, ""},
        {"the stream, POST", {"POST", "/api/events", "127.0.0.1:8203", "", "token1"}, Kind::Refuse, 405, "", "Allow",
         "GET"},
        {"the stream, no session", {"GET", "/api/events"}, Kind::Refuse, 401, "", nullptr, ""},
        // Login and logout.
        {"login, GET", {"GET", "/api/login"}, Kind::Refuse, 405, "", "Allow", "POST"},
        {"login, no JSON", {"POST", "/api/login", "127.0.0.1:8203", "", "", "", "geheim"}, Kind::Refuse, 400,
         u8"Erwartet: {\"password\": \"...\"}", nullptr, ""},
        {"login, no text", {"POST", "/api/login", "127.0.0.1:8203", "", "", "", R"({"password": 1})"}, Kind::Refuse,
         400, "", nullptr, ""},
        {"login, wrong", {"POST", "/api/login", "127.0.0.1:8203", "", "", "", R"({"password": "falsch"})"},
         Kind::Refuse, 401, u8"Falsches Passwort", nullptr, ""},
        {"login, right", {"POST", "/api/login", "127.0.0.1:8203", "", "", "", R"({"password": "geheim"})"},
         Kind::LoggedIn, 204, "", "Set-Cookie",
         "zendrill_session=token2; HttpOnly; SameSite=Strict; Path=/; Max-Age=2592000"},
        {"logout", {"POST", "/api/logout", "127.0.0.1:8203", "", "token1"}, Kind::LoggedOut, 204, "", "Set-Cookie",
         "zendrill_session=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0"},
        {"logout, GET", {"GET", "/api/logout", "127.0.0.1:8203", "", "token1"}, Kind::Refuse, 405, "", "Allow",
         "POST"},
        {"logout without a session", {"POST", "/api/logout"}, Kind::Refuse, 401, u8"Anmeldung nötig", nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        HttpAuth auth = make_auth("geheim");
        ASSERT_EQ(auth.open_session(gate_at(0)), "token1");
        const GateDecision d = ask(c.ask, auth, gate_at(1000));
        EXPECT_STREQ(kind_name(d.kind), kind_name(c.kind));
        if (c.kind == Kind::Api || c.kind == Kind::Stream || c.kind == Kind::Hold) continue;
        EXPECT_EQ(d.response.status, c.status);
        if (*c.error) {
            EXPECT_EQ(error_of(d.response), c.error);
        }
        if (c.header) {
            EXPECT_EQ(header_of(d.response, c.header), c.value);
        }
    }
}

TEST(HttpGates, ThePageLearnsItMustLogInAndNothingElse) {
    HttpAuth auth = make_auth("geheim");
    EXPECT_EQ(ask({"GET", "/api/info"}, auth, gate_at(0)).response.body, R"({"auth":true,"logged_in":false})");
}

TEST(HttpGates, AForeignHostIsShownCutTo100Characters) {
    HttpAuth auth = make_auth("geheim");
    const GateDecision d = ask({"GET", "/", std::string(150, 'a')}, auth, gate_at(0));
    EXPECT_EQ(error_of(d.response), "Unbekannter Host-Name \"" + std::string(100, 'a') +
                                        "\"; erlaubt sind die Adresse des Servers und http_hosts");
}

TEST(HttpGates, APageIsTheFileAsBuiltIn) {
    HttpAuth auth = make_auth("geheim");
    const WebAsset* index = find_web_asset("/");
    ASSERT_NE(index, nullptr);
    for (const char* method : {"GET", "HEAD"}) {
        const GateDecision d = ask({method, "/"}, auth, gate_at(0));
        ASSERT_EQ(d.kind, Kind::Page) << method;
        EXPECT_EQ(d.response.content_type, index->content_type);
        EXPECT_EQ(d.response.body, std::string(reinterpret_cast<const char*>(index->data), index->size));
        EXPECT_EQ(d.response.headers.size(), 4u);  // caching (3) and the CSP
        EXPECT_EQ(header_of(d.response, "Content-Security-Policy"), kCsp);
    }
}

// One client guessing over virtual time, by login and by Basic: each wrong
// password doubles the wait, during which it gets no answer at all; the
// right password forgets the guesses. Another client is never held.
TEST(HttpGates, AfterAWrongPasswordTheNextAttemptIsHeldLonger) {
    const std::string wrong = R"({"password": "falsch"})";
    const std::string right = R"({"password": "geheim"})";
    const struct {
        long long t;
        Ask ask;
        Kind kind;
        int status;          // when answered
        long long hold_until;  // when held
    } steps[] = {
        {0, {"POST", "/api/login", "127.0.0.1:8203", "", "", "", wrong}, Kind::Refuse, 401, 0},
        {500, {"POST", "/api/login", "127.0.0.1:8203", "", "", "", right}, Kind::Hold, 0, 1000},
        {999, {"GET", "/api/status", "127.0.0.1:8203", "", "", kRight}, Kind::Hold, 0, 1000},
        {999, {"POST", "/api/login", "127.0.0.1:8203", "", "", "", right, "10.0.0.8"}, Kind::LoggedIn, 204, 0},
        // Held or not, the gates before the password answer at once.
        {999, {"GET", "/api/status", "evil.example", "", "", kRight}, Kind::Refuse, 403, 0},
        {999, {"GET", "/api/login"}, Kind::Refuse, 405, 0},
        {999, {"GET", "/"}, Kind::Page, 200, 0},
        // Without a password tried there is nothing to hold.
        {999, {"GET", "/api/status"}, Kind::Refuse, 401, 0},
        {1000, {"GET", "/api/status", "127.0.0.1:8203", "", "", kWrong}, Kind::Refuse, 401, 0},
        {1500, {"POST", "/api/login", "127.0.0.1:8203", "", "", "", wrong}, Kind::Hold, 0, 3000},
        {3000, {"POST", "/api/login", "127.0.0.1:8203", "", "", "", wrong}, Kind::Refuse, 401, 0},
        {3000, {"GET", "/api/status", "127.0.0.1:8203", "", "", kWrong}, Kind::Hold, 0, 7000},
        {7000, {"GET", "/api/status", "127.0.0.1:8203", "", "", kWrong}, Kind::Refuse, 401, 0},
        {7001, {"POST", "/api/login", "127.0.0.1:8203", "", "", "", right}, Kind::Hold, 0, 15000},
        {15000, {"POST", "/api/login", "127.0.0.1:8203", "", "", "", right}, Kind::LoggedIn, 204, 0},
        // Forgotten: the next wrong one waits a second again.
        {15000, {"GET", "/api/status", "127.0.0.1:8203", "", "", kWrong}, Kind::Refuse, 401, 0},
        {15001, {"GET", "/api/status", "127.0.0.1:8203", "", "", kRight}, Kind::Hold, 0, 16000},
        {16000, {"GET", "/api/status", "127.0.0.1:8203", "", "", kRight}, Kind::Api, 0, 0},
    };
    HttpAuth auth = make_auth("geheim");
    for (const auto& s : steps) {
        SCOPED_TRACE("at " + std::to_string(s.t) + " ms: " + s.ask.method + " " + s.ask.path + " from " +
                     s.ask.client);
        const GateDecision d = ask(s.ask, auth, gate_at(s.t));
        EXPECT_STREQ(kind_name(d.kind), kind_name(s.kind));
        if (s.kind == Kind::Hold) {
            EXPECT_EQ(d.hold_until, gate_at(s.hold_until));
        }
        if (s.status) {
            EXPECT_EQ(d.response.status, s.status);
        }
    }
}

TEST(HttpGates, AWrongLoginIsLoggedWithTheClient) {
    HttpAuth auth = make_auth("geheim");
    const GateDecision wrong = ask({"POST", "/api/login", "127.0.0.1:8203", "", "", "", R"({"password": "x"})"}, auth,
                                   gate_at(0));
    EXPECT_EQ(wrong.log, "Falsches Passwort für die Web-Seite von 10.0.0.9");
    // A wrong Basic password is not: a script would fill the log.
    EXPECT_EQ(ask({"GET", "/api/status", "127.0.0.1:8203", "", "", kWrong, "", "10.0.0.8"}, auth, gate_at(0)).log, "");
    EXPECT_EQ(ask({"GET", "/api/status"}, auth, gate_at(0)).log, "");
    // The next wrong login within the minute is counted, not logged: the
    // sum comes from the auth once the minute is over.
    EXPECT_EQ(ask({"POST", "/api/login", "127.0.0.1:8203", "", "", "", R"({"password": "y"})", "10.0.0.7"}, auth,
                  gate_at(1)).log,
              "");
    EXPECT_EQ(auth.wrong_summary(gate_at(60000)),
              "Falsches Passwort für die Web-Seite: 2 weitere Versuche von 2 Adressen in 60 s");
}

// A session from a login opens the API until it ends: by logout or by age.
TEST(HttpGates, ASessionLastsFromLoginToLogoutOrItsAge) {
    HttpAuth auth = make_auth("geheim");
    const GateDecision in = ask({"POST", "/api/login", "127.0.0.1:8203", "", "", "", R"({"password": "geheim"})"},
                                auth, gate_at(0));
    ASSERT_EQ(in.kind, Kind::LoggedIn);
    EXPECT_EQ(header_of(in.response, "Set-Cookie"),
              "zendrill_session=token1; HttpOnly; SameSite=Strict; Path=/; Max-Age=2592000");
    const Ask status{"GET", "/api/status", "127.0.0.1:8203", "", "token1"};
    EXPECT_EQ(ask(status, auth, gate_at(1)).kind, Kind::Api);
    const Steady::time_point end = gate_at(0) + HttpAuth::kSession;
    EXPECT_EQ(ask(status, auth, end - milliseconds(1)).kind, Kind::Api);
    EXPECT_EQ(ask(status, auth, end).response.status, 401);

    ask({"POST", "/api/login", "127.0.0.1:8203", "", "", "", R"({"password": "geheim"})"}, auth, gate_at(2));
    const Ask second{"GET", "/api/status", "127.0.0.1:8203", "", "token2"};
    EXPECT_EQ(ask(second, auth, gate_at(3)).kind, Kind::Api);
    EXPECT_EQ(ask({"POST", "/api/logout", "127.0.0.1:8203", "", "token2"}, auth, gate_at(4)).kind, Kind::LoggedOut);
    EXPECT_EQ(ask(second, auth, gate_at(5)).response.status, 401);
    // Basic still works without any session.
    EXPECT_EQ(ask({"GET", "/api/status", "127.0.0.1:8203", "", "token2", kRight}, auth, gate_at(6)).kind, Kind::Api);
}

// The page's files are kept by the browser and asked after: an ETag of
// their content, 304 when it still holds, gzip to whoever takes it (with a
// tag of its own), and Vary so that no cache mixes the two up.
TEST(HttpGates, ThePagesFilesAreCachedCompressedAndRevalidated) {
    HttpAuth auth = make_auth("geheim");
    const WebAsset* index = find_web_asset("/index.html");
    ASSERT_NE(index, nullptr);
    const std::string plain = index->etag;
    const std::string zipped = plain.substr(0, plain.size() - 1) + "-gz\"";
    ASSERT_EQ(plain.size(), 22u);
    const struct {
        const char* accept;
        std::string if_none_match;
        int status;
        bool gzip;
        std::string etag;
    } cases[] = {
        {"", "", 200, false, plain},
        {"gzip, deflate, br", "", 200, true, zipped},
        {"GZIP", "", 200, true, zipped},
        {"br;q=1.0, gzip;q=0.8", "", 200, true, zipped},
        {"gzip;q=0", "", 200, false, plain},
        {"x-gzip", "", 200, false, plain},
        {"", plain, 304, false, plain},
        {"", "\"other\", W/" + plain, 304, false, plain},
        {"gzip", zipped, 304, true, zipped},
        {"gzip", plain, 200, true, zipped},  // the other representation's tag
        {"", "*", 304, false, plain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.accept) + " / " + c.if_none_match);
        Ask a{"GET", "/"};
        a.accept_encoding = c.accept;
        a.if_none_match = c.if_none_match;
        const GateDecision d = ask(a, auth, gate_at(0));
        EXPECT_EQ(d.kind, Kind::Page);
        EXPECT_EQ(d.response.status, c.status);
        EXPECT_EQ(d.response.content_type, "text/html; charset=utf-8");
        EXPECT_EQ(header_of(d.response, "ETag"), c.etag);
        EXPECT_EQ(header_of(d.response, "Cache-Control"), "no-cache");
        EXPECT_EQ(header_of(d.response, "Vary"), "Accept-Encoding");
        EXPECT_EQ(header_of(d.response, "Content-Encoding"), c.status == 200 && c.gzip ? "gzip" : "");
        if (c.status == 304) {
            EXPECT_EQ(d.response.body, "");
        } else if (c.gzip) {
            const std::string& b = d.response.body;
            ASSERT_EQ(b.size(), index->gzip_size);
            // One gzip member without a time or name; its trailer gives the size.
            EXPECT_EQ(b.substr(0, 8), std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00", 8));
            const auto byte = [&](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(b[i])); };
            const std::size_t n = b.size();
            EXPECT_EQ(byte(n - 4) | byte(n - 3) << 8 | byte(n - 2) << 16 | byte(n - 1) << 24, index->size);
            EXPECT_LT(b.size(), index->size);
        } else {
            EXPECT_EQ(d.response.body, std::string(reinterpret_cast<const char*>(index->data), index->size));
        }
    }
    // The API's answers are left to the server's no-store.
    Ask api{"GET", "/api/status", "127.0.0.1:8203", "", "", kRight};
    api.accept_encoding = "gzip";
    EXPECT_EQ(header_of(ask(api, auth, gate_at(0)).response, "Cache-Control"), "");
}

// A stream names the login it belongs to, and a logout the login it ends:
// the server ends that login's streams with it. Basic and no password
// belong to no login.
TEST(HttpGates, AStreamBelongsToItsLogin) {
    HttpAuth auth = make_auth("geheim");
    ask({"POST", "/api/login", "127.0.0.1:8203", "", "", "", R"({"password": "geheim"})"}, auth, gate_at(0));
    const GateDecision stream = ask({"GET", "/api/events", "127.0.0.1:8203", "", "token1"}, auth, gate_at(1));
    EXPECT_EQ(stream.kind, Kind::Stream);
    EXPECT_EQ(stream.session, "token1");
    const GateDecision basic = ask({"GET", "/api/events", "127.0.0.1:8203", "", "", kRight}, auth, gate_at(1));
    EXPECT_EQ(basic.kind, Kind::Stream);
    EXPECT_EQ(basic.session, "");
    const GateDecision out = ask({"POST", "/api/logout", "127.0.0.1:8203", "", "token1"}, auth, gate_at(2));
    EXPECT_EQ(out.kind, Kind::LoggedOut);
    EXPECT_EQ(out.session, "token1");
    HttpAuth open = make_auth("");
    EXPECT_EQ(ask({"GET", "/api/events"}, open, gate_at(0)).session, "");
}

// Without a password nothing asks for one; login answers 204 without a cookie.
TEST(HttpGates, WithoutAPasswordEveryoneIsLetIn) {
    HttpAuth auth = make_auth("");
    const struct {
        Ask ask;
        Kind kind;
        int status;
    } cases[] = {
        {{"GET", "/api/status"}, Kind::Api, 0},
        {{"GET", "/api/events"}, Kind::Stream, 0},
        {{"GET", "/api/status", "127.0.0.1:8203", "", "", kWrong}, Kind::Api, 0},
        {{"POST", "/api/login", "127.0.0.1:8203", "", "", "", R"({"password": "egal"})"}, Kind::LoggedIn, 204},
        {{"POST", "/api/login", "127.0.0.1:8203", "", "", "", "{}"}, Kind::Refuse, 400},
        {{"POST", "/api/logout"}, Kind::LoggedOut, 204},
        // The host and origin rules hold all the same.
        {{"GET", "/api/status", "evil.example"}, Kind::Refuse, 403},
        {{"POST", "/api/refresh", "127.0.0.1:8203", "http://evil.example"}, Kind::Refuse, 403},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ask.method) + " " + c.ask.path);
        const GateDecision d = ask(c.ask, auth, gate_at(0));
        EXPECT_STREQ(kind_name(d.kind), kind_name(c.kind));
        if (c.status) {
            EXPECT_EQ(d.response.status, c.status);
        }
        if (d.kind == Kind::LoggedIn) {
            EXPECT_EQ(header_of(d.response, "Set-Cookie"), "");
        }
    }
}

}  // namespace
}  // namespace zd::daemon
