#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <set>
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
    // Sessions changed since the last call (for the session file).
    bool sessions_changed() {
        const bool c = changed_;
        changed_ = false;
        return c;
    }

    // The sessions as a file keeps them: per line the SHA-256 of the
    // password and the token (a stolen file opens nothing, and a changed
    // password ends them all) and the end in seconds of the wall clock.
    std::string saved_sessions(Steady::time_point now, std::int64_t wall_now) const;
    // What saved_sessions gave, from another run; what does not read is left out.
    void restore_sessions(const std::string& text, Steady::time_point now, std::int64_t wall_now);

    // When an attempt from `client` may be answered: kAtOnce when at once
    // (clients counted by client_group()).
    Steady::time_point answer_not_before(const std::string& client, Steady::time_point now) const;
    // A wrong password answered at `now`: the next attempt of that client
    // waits 1 s, then 2, 4, ... 30 s; and all clients together get
    // kWrongBurst wrong answers at once, then one per kWrongEvery. A right
    // one forgets the client's wrong ones. True when the guess is the first
    // of a quiet spell, for a log line; the rest comes as wrong_summary().
    bool wrong_answered(const std::string& client, Steady::time_point now);
    void right(const std::string& client);
    // "" or, once the spell's kSummaryEvery is over, a line on the guesses
    // that got none of their own (Windows-1252).
    std::string wrong_summary(Steady::time_point now);
    Steady::time_point next_summary() const;

    static constexpr Steady::time_point kAtOnce = Steady::time_point::min();
    static constexpr std::chrono::seconds kSession{30LL * 24 * 3600};
    static constexpr std::size_t kMaxSessions = 64;
    static constexpr std::size_t kMaxClients = 4096;
    static constexpr int kWrongBurst = 10;
    static constexpr std::chrono::seconds kWrongEvery{1};
    static constexpr std::chrono::seconds kSummaryEvery{60};

private:
    struct Wrong {
        int count = 0;
        Steady::time_point answered;
    };
    std::string digest(const std::string& token) const;
    std::string password_;
    std::function<std::string()> new_token_;
    std::map<std::string, Steady::time_point> sessions_;  // token -> expiry
    std::map<std::string, Steady::time_point> restored_;  // digest -> expiry, from another run
    bool changed_ = false;
    std::map<std::string, Wrong> wrong_;
    // All clients' wrong answers: the moment the budget is whole again.
    Steady::time_point budget_whole_at_ = kAtOnce;
    // The spell since the last guess logged on its own.
    bool spell_ = false;
    Steady::time_point spell_start_{};
    std::size_t spell_guesses_ = 0;
    std::set<std::string> spell_clients_;
};

// "Basic dXNlcjpwYXNz" -> the password after the first ":"; nullopt-like
// false when the header is no Basic credential.
bool basic_password(const std::string& authorization, std::string& password);

// SHA-256 of `data` as lower-case hex.
std::string sha256_hex(const std::string& data);

}  // namespace zd::daemon
