#pragma once
#include <functional>
#include <map>
#include <string>

#include "zendrilld/steady.h"

// The web page's password: sessions for the page, the password itself for
// scripts (HTTP Basic), and a growing wait after each wrong guess. The
// caller gives the time, so the rules run in virtual time.
namespace zd::daemon {

// Called on the HTTP thread only (the server's gates); no callbacks but
// new_token, which runs inside open_session.
class HttpAuth {
public:
    // An empty password: no password is asked for.
    HttpAuth(std::string password, std::function<std::string()> new_token);

    bool required() const { return !password_.empty(); }
    // In constant time: how much of a guess is right does not show.
    bool password_matches(const std::string& given) const;

    std::string open_session(Steady::time_point now);
    bool session_valid(const std::string& token, Steady::time_point now);
    void close_session(const std::string& token);

    // When an attempt from `client` may be answered: kAtOnce when at once.
    Steady::time_point answer_not_before(const std::string& client) const;
    // A wrong password answered at `now`: the next attempt waits 1 s,
    // then 2, 4, ... 30 s. A right one forgets the client's wrong ones.
    void wrong_answered(const std::string& client, Steady::time_point now);
    void right(const std::string& client);

    static constexpr Steady::time_point kAtOnce = Steady::time_point::min();
    static constexpr std::chrono::seconds kSession{30LL * 24 * 3600};
    static constexpr std::size_t kMaxSessions = 64;
    static constexpr std::size_t kMaxClients = 4096;

private:
    struct Wrong {
        int count = 0;
        Steady::time_point answered;
    };
    std::string password_;
    std::function<std::string()> new_token_;
    std::map<std::string, Steady::time_point> sessions_;  // token -> expiry
    std::map<std::string, Wrong> wrong_;
};

// "Basic dXNlcjpwYXNz" -> the password after the first ":"; nullopt-like
// false when the header is no Basic credential.
bool basic_password(const std::string& authorization, std::string& password);

}  // namespace zd::daemon
