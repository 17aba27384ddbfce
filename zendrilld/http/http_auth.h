#pragma once
#include <functional>
#include <map>
#include <string>

// The web page's password: sessions for the page, the password itself for
// scripts (HTTP Basic), and a growing wait after each wrong guess. Time is
// given in milliseconds on a steady count, so the rules run in virtual time.
namespace zd::daemon {

class HttpAuth {
public:
    // An empty password: no password is asked for.
    HttpAuth(std::string password, std::function<std::string()> new_token);

    bool required() const { return !password_.empty(); }
    // In constant time: how much of a guess is right does not show.
    bool password_matches(const std::string& given) const;

    std::string open_session(long long now_ms);
    bool session_valid(const std::string& token, long long now_ms);
    void close_session(const std::string& token);

    // When an attempt from `client` may be answered: 0 when at once.
    long long answer_not_before(const std::string& client) const;
    // A wrong password answered at `now_ms`: the next attempt waits 1 s,
    // then 2, 4, ... 30 s. A right one forgets the client's wrong ones.
    void wrong_answered(const std::string& client, long long now_ms);
    void right(const std::string& client);

    static constexpr long long kSessionMs = 30LL * 24 * 3600 * 1000;
    static constexpr std::size_t kMaxSessions = 64;
    static constexpr std::size_t kMaxClients = 4096;

private:
    struct Wrong {
        int count = 0;
        long long answered_ms = 0;
    };
    std::string password_;
    std::function<std::string()> new_token_;
    std::map<std::string, long long> sessions_;  // token -> expiry
    std::map<std::string, Wrong> wrong_;
};

// "Basic dXNlcjpwYXNz" -> the password after the first ":"; nullopt-like
// false when the header is no Basic credential.
bool basic_password(const std::string& authorization, std::string& password);

}  // namespace zd::daemon
