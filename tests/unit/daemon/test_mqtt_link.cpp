// The MQTT link's decisions in virtual time: when to connect again, and
// whether another zendrilld already owns the base topic.
#include <gtest/gtest.h>

#include "platform/posix/random_token.h"
#include "zendrilld/mqtt/mqtt_link.h"

namespace zd::daemon {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const Steady::time_point t0{};

TEST(ReconnectPolicy, ConnectionsDroppedSoonAfterConnectingBackOffAndAreNamedOnTheThird) {
    ReconnectPolicy p;
    EXPECT_EQ(p.failed(), seconds(1));
    EXPECT_EQ(p.failed(), seconds(2));
    // Two clients knocking each other off: each connection lasts until the other's next attempt.
    auto now = t0 + seconds(10);
    std::vector<long> delays;
    std::vector<bool> named;
    for (int i = 0; i < 8; ++i) {
        p.connected(now);
        now += seconds(1);
        const ReconnectPolicy::Drop d = p.dropped(now);
        delays.push_back(static_cast<long>(d.delay.count()));
        named.push_back(d.again_and_again);
        now += d.delay;
    }
    EXPECT_EQ(delays, (std::vector<long>{4, 8, 16, 32, 60, 60, 60, 60}));
    EXPECT_EQ(named, (std::vector<bool>{false, false, true, false, false, false, false, false}));
    // Even connections that last as long as the longest delay stay suspect.
    p.connected(now);
    EXPECT_EQ(p.dropped(now + seconds(61)).delay, seconds(60));
    // One that lasted starts again from a second.
    p.connected(now);
    EXPECT_EQ(p.dropped(now + seconds(121)).delay, seconds(1));
    p.connected(now);
    EXPECT_EQ(p.dropped(now + seconds(30)).delay, seconds(1));
}

TEST(InstanceProbe, ANewcomerOwnsTheTopicsOnlyWhenNoOtherAnswers) {
    const milliseconds window(2000);
    const struct {
        const char* name;
        std::vector<std::string> heard;  // on the probe topic, after our own probe
        InstanceProbe::State then;
        std::vector<std::string> answers;
    } cases[] = {
        {"no one else: a stale retained online answers nothing", {}, InstanceProbe::State::Owner, {}},
        {"a running zendrilld answers", {"present 1111"}, InstanceProbe::State::Refused, {}},
        {"a second newcomer with a larger token gives way", {"probe 9999"}, InstanceProbe::State::Owner,
         {"present 5555"}},
        {"a second newcomer with a smaller token wins", {"probe 1111"}, InstanceProbe::State::Refused, {}},
        {"noise and our own answer change nothing", {"present 5555", "hello", "present ", "probe", ""},
         InstanceProbe::State::Owner, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstanceProbe p("5555", window);
        p.start(t0);
        std::vector<std::string> answers;
        p.on_message(p.probe());  // our own, back from the broker
        for (const std::string& m : c.heard) {
            const auto r = p.on_message(m);
            if (!r.answer.empty()) answers.push_back(r.answer);
        }
        EXPECT_EQ(p.tick(t0 + window - milliseconds(1)), t0 + window);
        if (c.then != InstanceProbe::State::Refused) {
            EXPECT_EQ(p.state(), InstanceProbe::State::Probing);
        }
        p.tick(t0 + window);
        EXPECT_EQ(p.state(), c.then);
        EXPECT_EQ(answers, c.answers);
    }
}

TEST(InstanceProbe, AnOwnerAnswersEveryNewcomerAndABrokerThatNeverEchoesDoesNotHoldItOff) {
    InstanceProbe p("5555", milliseconds(2000));
    p.start(t0);
    // Our own probe never comes back: the window alone is not enough.
    p.tick(t0 + seconds(3));
    EXPECT_EQ(p.state(), InstanceProbe::State::Probing);
    p.tick(t0 + seconds(10));
    ASSERT_EQ(p.state(), InstanceProbe::State::Owner);
    const auto r = p.on_message("probe 0000");
    EXPECT_EQ(r.answer, "present 5555");
    EXPECT_TRUE(r.other_tried);
    EXPECT_TRUE(p.on_message("present 0000").answer.empty());
    EXPECT_EQ(p.state(), InstanceProbe::State::Owner);
    EXPECT_EQ(posix::random_token(8).size(), 16u);
    EXPECT_NE(posix::random_token(8), posix::random_token(8));
}

}  // namespace
}  // namespace zd::daemon
