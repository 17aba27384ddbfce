#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "zendrilld/http/http_auth.h"

namespace zd::daemon {
namespace {

using std::chrono::milliseconds;
// Virtual time: a moment `ms` after an arbitrary start.
Steady::time_point auth_at(long long ms) { return Steady::time_point{} + milliseconds(ms); }

HttpAuth make(const std::string& password) {
    auto n = std::make_shared<int>(0);
    return HttpAuth(password, [n] { return "token" + std::to_string(++*n); });
}

TEST(HttpAuth, PasswordsMatchOnlyWhole) {
    HttpAuth a = make("geheim");
    EXPECT_TRUE(a.required());
    EXPECT_TRUE(a.password_matches("geheim"));
    for (const char* wrong : {"", "geheim ", "gehei", "Geheim", "geheimx"}) EXPECT_FALSE(a.password_matches(wrong));
    HttpAuth none = make("");
    EXPECT_FALSE(none.required());
    EXPECT_FALSE(none.password_matches(""));
}

TEST(HttpAuth, EachWrongGuessDoublesTheWaitUpTo30Seconds) {
    HttpAuth a = make("geheim");
    EXPECT_EQ(a.answer_not_before("10.0.0.9", auth_at(0)), HttpAuth::kAtOnce);
    Steady::time_point t = auth_at(1000);
    const long long waits[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000};
    for (long long wait : waits) {
        a.wrong_answered("10.0.0.9", t);
        EXPECT_EQ(a.answer_not_before("10.0.0.9", t), t + milliseconds(wait));
        // Mapped into IPv6 it is the same client.
        EXPECT_EQ(a.answer_not_before("::ffff:10.0.0.9", t), t + milliseconds(wait));
        t += milliseconds(wait);
    }
    EXPECT_EQ(a.answer_not_before("10.0.0.8", t), HttpAuth::kAtOnce);  // another client waits for nothing
    a.right("10.0.0.9");
    EXPECT_EQ(a.answer_not_before("10.0.0.9", t), HttpAuth::kAtOnce);
}

// 2000 guesses, each from an address of its own: the budget of wrong
// answers makes them take half an hour, and the log gets a line for the
// first and a sum a minute, not 2000 lines. IPv6 counts by /64.
TEST(HttpAuth, GuessesFromManyAddressesStaySlowAsAWholeAndAreSummedUp) {
    HttpAuth a = make("geheim");
    Steady::time_point now = auth_at(0);
    std::vector<std::string> lines;
    for (int i = 0; i < 2000; ++i) {
        const std::string client = "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250);
        const Steady::time_point not_before = a.answer_not_before(client, now);
        if (not_before != HttpAuth::kAtOnce) {
            ASSERT_GT(not_before, now);
            now = not_before;  // the client is held until then
        }
        if (a.wrong_answered(client, now)) lines.push_back("first");
        if (std::string sum = a.wrong_summary(now); !sum.empty()) lines.push_back(sum);
    }
    const auto took = std::chrono::duration_cast<std::chrono::seconds>(now - auth_at(0)).count();
    std::cout << "2000 guesses from 2000 addresses take " << took << " s\n";
    EXPECT_GE(took, 2000 - HttpAuth::kWrongBurst - 1);
    EXPECT_LE(lines.size(), 2u * (static_cast<std::size_t>(took) / 60 + 2));
    EXPECT_EQ(lines.at(1), "Falsches Passwort für die Web-Seite: 70 weitere Versuche von 70 Adressen in 60 s");
    EXPECT_GE(a.next_summary(), now);

    // One owner's /64 is one client; the next /64 another.
    HttpAuth b = make("geheim");
    b.wrong_answered("2001:db8:1:2::5", auth_at(0));
    EXPECT_EQ(b.answer_not_before("2001:db8:1:2:ffff:1:2:3", auth_at(0)), auth_at(1000));
    EXPECT_EQ(b.answer_not_before("2001:db8:1:3::5", auth_at(0)), HttpAuth::kAtOnce);
    EXPECT_EQ(b.wrong_summary(auth_at(60000)), "");  // one guess: its own line said it all
}

TEST(HttpAuth, SessionsExpireAndAreBounded) {
    HttpAuth a = make("geheim");
    const std::string first = a.open_session(auth_at(0));
    EXPECT_TRUE(a.session_valid(first, auth_at(0) + HttpAuth::kSession - milliseconds(1)));
    EXPECT_FALSE(a.session_valid(first, auth_at(0) + HttpAuth::kSession));
    EXPECT_FALSE(a.session_valid("", auth_at(0)));
    const std::string kept = a.open_session(auth_at(1));
    for (std::size_t i = 1; i < HttpAuth::kMaxSessions; ++i) a.open_session(auth_at(2));
    EXPECT_TRUE(a.session_valid(kept, auth_at(2)));
    a.open_session(auth_at(3));  // the oldest makes room
    EXPECT_FALSE(a.session_valid(kept, auth_at(3)));
    const std::string s = a.open_session(auth_at(4));
    a.close_session(s);
    EXPECT_FALSE(a.session_valid(s, auth_at(4)));
}

// Sessions outlast a restart through the file's text; a changed password,
// a logout, an end in the past or too far ahead, and text that does not
// read all mean no session from before.
TEST(HttpAuth, SessionsOutlastARestartButNotTheirEndNorAChangedPassword) {
    EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    HttpAuth first = make("geheim");
    const std::string kept = first.open_session(auth_at(0));
    const std::string closed = first.open_session(auth_at(0));
    EXPECT_TRUE(first.sessions_changed());
    EXPECT_FALSE(first.sessions_changed());
    first.close_session(closed);
    EXPECT_TRUE(first.sessions_changed());
    const std::int64_t wall = 1'800'000'000;
    const std::string text = first.saved_sessions(auth_at(0), wall);
    EXPECT_EQ(text.find(kept), std::string::npos) << "no token in the file";
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);

    // A day later, on a steady clock that started anew.
    const std::int64_t day = 24 * 3600;
    HttpAuth again(make("geheim"));
    again.restore_sessions(text, auth_at(5), wall + day);
    EXPECT_FALSE(again.session_valid(closed, auth_at(5)));
    EXPECT_TRUE(again.session_valid(kept, auth_at(5)));
    EXPECT_TRUE(again.session_valid(kept, auth_at(5) + HttpAuth::kSession - std::chrono::hours(24) - milliseconds(1)));
    EXPECT_FALSE(again.session_valid(kept, auth_at(5) + HttpAuth::kSession - std::chrono::hours(24)));

    HttpAuth changed = make("anders");
    changed.restore_sessions(text, auth_at(5), wall + day);
    EXPECT_FALSE(changed.session_valid(kept, auth_at(5)));

    HttpAuth logout = make("geheim");
    logout.restore_sessions(text, auth_at(5), wall);
    logout.close_session(kept);
    EXPECT_FALSE(logout.session_valid(kept, auth_at(5)));
    EXPECT_EQ(logout.saved_sessions(auth_at(5), wall), "");

    const std::string digest = text.substr(0, 64);
    for (const std::string& bad : {std::string("\0\xff garbage"), digest + " " + std::to_string(wall - 1) + "\n",
                                   digest + " " + std::to_string(wall + 31 * day) + "\n", digest + "\n",
                                   digest.substr(1) + " " + std::to_string(wall + day) + "\n",
                                   std::string(100000, 'a')}) {
        HttpAuth b = make("geheim");
        b.restore_sessions(bad, auth_at(0), wall);
        EXPECT_FALSE(b.session_valid(kept, auth_at(0))) << bad.substr(0, 80);
    }
}

TEST(HttpAuth, BasicCredentials) {
    std::string p;
    ASSERT_TRUE(basic_password("Basic dXNlcjpnZWhlaW0=", p));  // user:geheim
    EXPECT_EQ(p, "geheim");
    ASSERT_TRUE(basic_password("basic OmE6Yg==", p));  // ":a:b" - any user, a colon in the password
    EXPECT_EQ(p, "a:b");
    for (const char* bad : {"", "Basic", "Basic ", "Bearer dXNlcjpnZWhlaW0=", "Basic dXNlcg==", "Basic d*"})
        EXPECT_FALSE(basic_password(bad, p)) << bad;
}

}  // namespace
}  // namespace zd::daemon
