#include <gtest/gtest.h>

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
    EXPECT_EQ(a.answer_not_before("10.0.0.9"), HttpAuth::kAtOnce);
    Steady::time_point t = auth_at(1000);
    const long long waits[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000};
    for (long long wait : waits) {
        a.wrong_answered("10.0.0.9", t);
        EXPECT_EQ(a.answer_not_before("10.0.0.9"), t + milliseconds(wait));
        t += milliseconds(wait);
    }
    EXPECT_EQ(a.answer_not_before("10.0.0.8"), HttpAuth::kAtOnce);  // another client waits for nothing
    a.right("10.0.0.9");
    EXPECT_EQ(a.answer_not_before("10.0.0.9"), HttpAuth::kAtOnce);
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
