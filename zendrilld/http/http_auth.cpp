#include "zendrilld/http/http_auth.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>

#include "zendrilld/http/http_access.h"

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

std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

}  // namespace

std::string sha256_hex(const std::string& data) {
    static const std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::string m = data;
    m += static_cast<char>(0x80);
    while (m.size() % 64 != 56) m += '\0';
    const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    for (int i = 7; i >= 0; --i) m += static_cast<char>((bits >> (i * 8)) & 0xFF);
    for (std::size_t at = 0; at < m.size(); at += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = static_cast<std::uint32_t>(static_cast<unsigned char>(m[at + 4 * i])) << 24 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(m[at + 4 * i + 1])) << 16 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(m[at + 4 * i + 2])) << 8 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(m[at + 4 * i + 3]));
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
    }
    std::string out;
    char hex[9];
    for (std::uint32_t v : h) {
        std::snprintf(hex, sizeof hex, "%08x", v);
        out += hex;
    }
    return out;
}

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
    changed_ = true;
    return token;
}

std::string HttpAuth::digest(const std::string& token) const { return sha256_hex(password_ + "\n" + token); }

bool HttpAuth::session_valid(const std::string& token, Steady::time_point now) {
    if (token.empty()) return false;
    auto it = sessions_.find(token);
    if (it == sessions_.end() && !restored_.empty()) {
        // A session of an earlier run, known by its digest only.
        const auto r = restored_.find(digest(token));
        if (r == restored_.end()) return false;
        it = sessions_.emplace(token, r->second).first;
        restored_.erase(r);
    }
    if (it == sessions_.end()) return false;
    if (it->second <= now) {
        sessions_.erase(it);
        changed_ = true;
        return false;
    }
    return true;
}

void HttpAuth::close_session(const std::string& token) {
    if (token.empty()) return;
    changed_ = sessions_.erase(token) > 0 || restored_.erase(digest(token)) > 0 || changed_;
}

std::string HttpAuth::saved_sessions(Steady::time_point now, std::int64_t wall_now) const {
    std::string out;
    const auto line = [&](const std::string& d, Steady::time_point end) {
        if (end <= now) return;
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(end - now).count();
        out += d + " " + std::to_string(wall_now + left) + "\n";
    };
    for (const auto& [token, end] : sessions_) line(digest(token), end);
    for (const auto& [d, end] : restored_) line(d, end);
    return out;
}

void HttpAuth::restore_sessions(const std::string& text, Steady::time_point now, std::int64_t wall_now) {
    if (!required()) return;
    std::istringstream in(text);
    std::string d;
    long long end = 0;
    while (restored_.size() + sessions_.size() < kMaxSessions && in >> d >> end) {
        if (d.size() != 64 || d.find_first_not_of("0123456789abcdef") != std::string::npos) break;
        // A session no longer than one is given, whatever the file says.
        if (end <= wall_now || end - wall_now > kSession.count()) continue;
        restored_[d] = now + std::chrono::seconds(end - wall_now);
    }
}

Steady::time_point HttpAuth::answer_not_before(const std::string& client, Steady::time_point now) const {
    Steady::time_point at = kAtOnce;
    const auto it = wrong_.find(client_group(client));
    if (it != wrong_.end() && it->second.count > 0) {
        std::chrono::milliseconds wait = kFirstWait;
        for (int i = 1; i < it->second.count && wait < kLongestWait; ++i) wait *= 2;
        at = it->second.answered + std::min(wait, kLongestWait);
    }
    // Guesses from many addresses: slow as a whole.
    if (budget_whole_at_ != kAtOnce) at = std::max(at, budget_whole_at_ - kWrongBurst * kWrongEvery);
    return at <= now ? kAtOnce : at;
}

bool HttpAuth::wrong_answered(const std::string& raw_client, Steady::time_point now) {
    budget_whole_at_ = std::max(budget_whole_at_, now) + kWrongEvery;
    const std::string client = client_group(raw_client);
    bool first = false;
    if (!spell_) {
        spell_ = true;
        first = true;
        spell_start_ = now;
        spell_guesses_ = 0;
        spell_clients_.clear();
    } else {
        ++spell_guesses_;
        if (spell_clients_.size() < kMaxClients) spell_clients_.insert(client);
    }
    if (!wrong_.count(client) && wrong_.size() >= kMaxClients) {
        // The client whose last guess lies furthest back is forgotten.
        wrong_.erase(std::min_element(wrong_.begin(), wrong_.end(), [](const auto& a, const auto& b) {
            return a.second.answered < b.second.answered;
        }));
    }
    Wrong& w = wrong_[client];
    w.count = std::min(w.count + 1, 16);
    w.answered = now;
    return first;
}

void HttpAuth::right(const std::string& client) { wrong_.erase(client_group(client)); }

Steady::time_point HttpAuth::next_summary() const {
    return spell_ ? spell_start_ + kSummaryEvery : Steady::time_point::max();
}

std::string HttpAuth::wrong_summary(Steady::time_point now) {
    if (!spell_ || now < next_summary()) return "";
    spell_ = false;
    if (spell_guesses_ == 0) return "";
    return "Falsches Passwort für die Web-Seite: " + std::to_string(spell_guesses_) + " weitere Versuche von " +
           std::to_string(spell_clients_.size()) + (spell_clients_.size() == 1 ? " Adresse" : " Adressen") + " in " +
           std::to_string(kSummaryEvery.count()) + " s";
}

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
