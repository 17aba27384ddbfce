#include "zendrilld/http/http_auth.h"

#include <algorithm>

namespace zd::daemon {

namespace {

constexpr std::chrono::milliseconds kFirstWait{1000};
constexpr std::chrono::milliseconds kLongestWait{30000};

int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

HttpAuth::HttpAuth(std::string password, std::function<std::string()> new_token)
    : password_(std::move(password)), new_token_(std::move(new_token)) {}

bool HttpAuth::password_matches(const std::string& given) const {
    // Every byte of the longer text is looked at, whatever matched before.
    const std::size_t n = std::max(given.size(), password_.size());
    unsigned diff = given.size() == password_.size() ? 0u : 1u;
    for (std::size_t i = 0; i < n; ++i) {
        const auto a = static_cast<unsigned char>(i < given.size() ? given[i] : 0);
        const auto b = static_cast<unsigned char>(i < password_.size() ? password_[i] : 0);
        diff |= static_cast<unsigned>(a ^ b);
    }
    return diff == 0 && !password_.empty();
}

std::string HttpAuth::open_session(Steady::time_point now) {
    for (auto it = sessions_.begin(); it != sessions_.end();)
        it = it->second <= now ? sessions_.erase(it) : std::next(it);
    if (sessions_.size() >= kMaxSessions) {
        // The one closest to its end makes room.
        sessions_.erase(std::min_element(sessions_.begin(), sessions_.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; }));
    }
    std::string token = new_token_();
    sessions_[token] = now + kSession;
    return token;
}

bool HttpAuth::session_valid(const std::string& token, Steady::time_point now) {
    const auto it = sessions_.find(token);
    if (it == sessions_.end()) return false;
    if (it->second <= now) {
        sessions_.erase(it);
        return false;
    }
    return true;
}

void HttpAuth::close_session(const std::string& token) { sessions_.erase(token); }

Steady::time_point HttpAuth::answer_not_before(const std::string& client) const {
    const auto it = wrong_.find(client);
    if (it == wrong_.end() || it->second.count == 0) return kAtOnce;
    std::chrono::milliseconds wait = kFirstWait;
    for (int i = 1; i < it->second.count && wait < kLongestWait; ++i) wait *= 2;
    return it->second.answered + std::min(wait, kLongestWait);
}

void HttpAuth::wrong_answered(const std::string& client, Steady::time_point now) {
    if (!wrong_.count(client) && wrong_.size() >= kMaxClients) {
        // The client whose last guess lies furthest back is forgotten.
        wrong_.erase(std::min_element(wrong_.begin(), wrong_.end(), [](const auto& a, const auto& b) {
            return a.second.answered < b.second.answered;
        }));
    }
    Wrong& w = wrong_[client];
    w.count = std::min(w.count + 1, 16);
    w.answered = now;
}

void HttpAuth::right(const std::string& client) { wrong_.erase(client); }

bool basic_password(const std::string& authorization, std::string& password) {
    const std::string scheme = "basic ";
    if (authorization.size() <= scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(authorization[i])) != scheme[i]) return false;
    std::string decoded;
    unsigned bits = 0;
    int count = 0;
    for (std::size_t i = scheme.size(); i < authorization.size(); ++i) {
        const char c = authorization[i];
        if (c == '=') break;
        const int v = base64_value(c);
        if (v < 0) return false;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            decoded += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    const auto colon = decoded.find(':');
    if (colon == std::string::npos) return false;
    password = decoded.substr(colon + 1);
    return true;
}

}  // namespace zd::daemon
