#pragma once
#include <string>

#include "zendrilld/http/http_access.h"
#include "zendrilld/http/http_auth.h"
#include "zendrilld/http/http_message.h"
#include "zendrilld/steady.h"

// The gates every request passes before anything answers it: host, origin,
// the page's files, login and logout, the password. One function with no
// I/O and no clock of its own, so every rule is tested in-process.
namespace zd::daemon {

// The name of the cookie that carries a session.
constexpr const char* kSessionCookie = "zendrill_session";

// What the gates look at besides the request itself.
struct GateHeaders {
    std::string host;            // the Host header
    std::string origin;          // the Origin header
    std::string session;         // the value of the session cookie
    std::string authorization;   // the Authorization header
    std::string accept_encoding; // the Accept-Encoding header
    std::string if_none_match;   // the If-None-Match header
};

struct GateDecision {
    enum class Kind {
        Page,       // a file of the page: `response`
        Refuse,     // an error: `response`
        Hold,       // no answer before `hold_until` (after a wrong password); then ask again
        LoggedIn,   // `response` (a session cookie when a password is set)
        LoggedOut,  // `response` (the cookie cleared)
        Api,        // passed: for the API behind the server
        Stream,     // passed: open the event stream
    };
    Kind kind = Kind::Refuse;
    HttpResponse response;
    Steady::time_point hold_until{};
    std::string log;  // a line for the daemon's log; empty: none (Windows-1252)
    // Stream: the session it belongs to (ends with it); LoggedOut: the one ended.
    std::string session;
};

// Decides for one request at `now`. Its one effect is on `auth`: a login
// opens a session, a logout closes one, a password tried is remembered as
// right or wrong for the client's next wait. Called on the HTTP thread.
GateDecision pass_gates(const HttpRequest& request, const GateHeaders& headers, const AccessRules& rules,
                        HttpAuth& auth, Steady::time_point now);

}  // namespace zd::daemon
