#include <set>

#include <gtest/gtest.h>

#include "zendrilld/http/http_streams.h"

namespace zd::daemon {
namespace {

using std::chrono::seconds;

Steady::time_point stream_at(long long s) { return Steady::time_point{} + seconds(s); }

std::string drain_stream(EventStream& s) {
    std::string out;
    char buf[7];  // small: a reader takes the backlog in pieces
    while (const std::size_t n = s.take(buf, sizeof buf)) out.append(buf, n);
    return out;
}

TEST(HttpStreams, AStreamStartsWithTheRetryAndThePictureThenGetsEachEvent) {
    EventStreams streams;
    EventStream* s = streams.open(1, {{"link", "{\"link\":\"up\"}"}, {"state", "{}"}});
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(drain_stream(*s), "retry: 1000\n\nevent: link\ndata: {\"link\":\"up\"}\n\nevent: state\ndata: {}\n\n");
    std::set<EventStreams::Id> woken;
    streams.broadcast("timer", "{\"n\":3}", [&](EventStreams::Id id) { woken.insert(id); });
    EXPECT_EQ(woken, std::set<EventStreams::Id>{1});
    EXPECT_EQ(drain_stream(*s), "event: timer\ndata: {\"n\":3}\n\n");
    EXPECT_EQ(drain_stream(*s), "");
    EXPECT_FALSE(s->ended);
}

TEST(HttpStreams, AtMost32AreOpenAndAnEndedOneMakesRoom) {
    EventStreams streams;
    for (EventStreams::Id id = 1; id <= EventStreams::kMaxStreams; ++id) ASSERT_NE(streams.open(id, {}), nullptr);
    EXPECT_EQ(streams.open(100, {}), nullptr);
    EXPECT_EQ(streams.open_count(), EventStreams::kMaxStreams);
    streams.forget(1);
    EventStream* s = streams.open(101, {});
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(streams.open(102, {}), nullptr);
    s->ended = true;  // its reader left; its connection not yet gone
    EXPECT_NE(streams.open(103, {}), nullptr);
}

TEST(HttpStreams, AReaderThatDoesNotKeepUpIsLetGo) {
    EventStreams streams;
    EventStream* slow = streams.open(1, {});
    EventStream* quick = streams.open(2, {});
    drain_stream(*slow);
    drain_stream(*quick);
    const std::string data(1000, 'x');
    const std::size_t each = ("event: e\ndata: " + data + "\n\n").size();
    std::size_t sent = 0;
    int woken_after_end = 0;
    while (!slow->ended) {
        streams.broadcast("e", data, [](EventStreams::Id) {});
        drain_stream(*quick);
        sent += each;
        ASSERT_LE(sent, EventStreams::kMaxBacklog + each);
    }
    EXPECT_LE(slow->backlog.size(), EventStreams::kMaxBacklog);
    EXPECT_GT(slow->backlog.size() + each, EventStreams::kMaxBacklog);
    EXPECT_FALSE(quick->ended);
    // An ended stream gets nothing more and is not woken for it.
    const std::size_t kept = slow->backlog.size();
    streams.broadcast("e", "y", [&](EventStreams::Id id) { woken_after_end += id == 1 ? 1 : 0; });
    EXPECT_EQ(slow->backlog.size(), kept);
    EXPECT_EQ(woken_after_end, 0);
}

// An event, not a comment: the page's EventSource sees only events, and a
// stream without one for longer than that is dead.
TEST(HttpStreams, AnAliveEventEvery15SecondsToOpenStreamsOnly) {
    EventStreams streams;
    streams.start_keep_alive(stream_at(0));
    EXPECT_EQ(streams.next_keep_alive(), stream_at(15));
    EventStream* open = streams.open(1, {});
    EventStream* ended = streams.open(2, {});
    drain_stream(*open);
    drain_stream(*ended);
    ended->ended = true;
    std::set<EventStreams::Id> woken;
    const auto wake = [&](EventStreams::Id id) { woken.insert(id); };
    streams.keep_alive(stream_at(14), wake);
    EXPECT_TRUE(woken.empty());
    streams.keep_alive(stream_at(15), wake);
    EXPECT_EQ(woken, std::set<EventStreams::Id>{1});
    EXPECT_EQ(drain_stream(*open), "event: alive\ndata: {}\n\n");
    EXPECT_EQ(drain_stream(*ended), "");
    EXPECT_EQ(streams.next_keep_alive(), stream_at(30));
    streams.end_all(wake);
    EXPECT_TRUE(open->ended);
    EXPECT_EQ(woken, (std::set<EventStreams::Id>{1, 2}));
}

// A login's streams end with it; those of other logins and those without
// one (no password, or HTTP Basic) go on.
TEST(HttpStreams, TheStreamsOfAnEndedLoginEnd) {
    EventStreams streams;
    EventStream* a1 = streams.open(1, {}, "a");
    EventStream* a2 = streams.open(2, {}, "a");
    EventStream* b = streams.open(3, {}, "b");
    EventStream* none = streams.open(4, {});
    std::set<EventStreams::Id> woken;
    std::set<std::string> asked;
    streams.end_sessions(
        [&](const std::string& s) {
            asked.insert(s);
            return s != "a";
        },
        [&](EventStreams::Id id) { woken.insert(id); });
    EXPECT_EQ(woken, (std::set<EventStreams::Id>{1, 2}));
    EXPECT_EQ(asked, (std::set<std::string>{"a", "b"}));
    EXPECT_TRUE(a1->ended && a2->ended);
    EXPECT_FALSE(b->ended || none->ended);
    EXPECT_EQ(b->session, "b");
}

}  // namespace
}  // namespace zd::daemon
