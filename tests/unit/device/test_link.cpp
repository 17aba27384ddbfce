#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "device/link.h"
#include "tests/fakes/fake_port.h"

namespace zd::test {
namespace {

struct LinkTest : ::testing::Test {
    VirtualClock clock;
    FakePort port{clock};
    DeviceLink link{&port, &clock};
};

// Polling every 100 ms: a reply is what arrived up to the poll that found
// its line feed, or up to the limit.
TEST(LinkPolling, RepliesAreTakenAtThePolls) {
    struct Case {
        const char* name;
        std::vector<std::pair<long long, std::string>> arrivals;
        int limit_ms;
        std::string reply;
        long long done_at;
    } cases[] = {
        {"complete line: one pause", {{0, "ABC\r\n"}}, 4000, "ABC", 100},
        {"two queued lines are joined", {{0, "12\r\n34\r\n"}}, 4000, "1234", 100},
        {"a burst is taken at the next poll", {{150, "05"}, {250, "003E\r\nrest"}}, 4000, "05003Erest", 400},
        {"carriage returns and zero bytes dropped", {{0, std::string("A\r\0B\rC\n", 7)}}, 1000, "ABC", 100},
        {"no line feed: what arrived", {{300, "partial"}}, 1000, "partial", 1000},
    };
    for (const Case& c : cases) {
        VirtualClock clock;
        FakePort port{clock};
        DeviceLink link{&port, &clock};
        for (const auto& [at, bytes] : c.arrivals) port.arrive(at, bytes);
        EXPECT_EQ(read_reply_line(link, c.limit_ms), c.reply) << c.name;
        EXPECT_EQ(clock.now, c.done_at) << c.name;
    }
}

TEST_F(LinkTest, SilenceCostsTheLimitInPauses) {
    EXPECT_EQ(read_reply_line(link, 2000), "");
    EXPECT_EQ(clock.pauses.size(), 20u);
    EXPECT_EQ(clock.now, 2000);
}

TEST_F(LinkTest, LimitIsRoundedUpToWholePauses) {
    EXPECT_EQ(read_reply_line(link, 250), "");
    EXPECT_EQ(clock.pauses.size(), 3u);
}

TEST_F(LinkTest, LimitOfZeroOrLessReturnsAtOnceWithoutReading) {
    port.arrive(0, "X\n");
    for (int limit : {0, -5}) {
        EXPECT_EQ(read_reply_line(link, limit), "");
        EXPECT_TRUE(clock.pauses.empty());
        EXPECT_EQ(port.bytes_read, 0);
    }
}

TEST_F(LinkTest, LimitAtTheTopOfTheIntRangeEndsAtTheLineFeed) {
    // The time spent used to be counted past the limit, which overflowed here.
    for (int limit : {INT_MAX, INT_MAX - 40}) {
        port.arrive(clock.now, "X\n");
        EXPECT_EQ(read_reply_line(link, limit), "X");
    }
    EXPECT_EQ(clock.pauses.size(), 2u);
}

TEST_F(LinkTest, DiscardDropsOnlyWhatIsWaiting) {
    port.arrive(0, "old\r\n");
    port.arrive(50, "new\r\n");
    discard_input(link);
    EXPECT_EQ(port.queued(), 0u);
    EXPECT_EQ(read_reply_line(link, 1000), "new");
}

TEST_F(LinkTest, FloodIsCappedAndCostsOnlyTheLimit) {
    // A device that streams without end: 50 kB every poll, never a line feed.
    clock.on_pause = [&](long long) { port.arrive_after(0, std::string(50000, 'x')); };
    port.arrive(0, std::string(50000, 'x'));
    const std::string r = read_reply_line(link, 1000);
    EXPECT_EQ(r.size(), kMaxReplyBytes);
    EXPECT_EQ(clock.pauses.size(), 10u);
}

TEST_F(LinkTest, ReadThatDeliversNothingEndsThePoll) {
    port.arrive(0, "abc\n");
    port.fail_reads = true;
    EXPECT_EQ(read_reply_line(link, 300), "");
    EXPECT_EQ(clock.pauses.size(), 3u);
}

TEST_F(LinkTest, WriteHandsTheTextOverUnchanged) {
    write_command(link, "0C05\r");
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], "0C05\r");
}

// A program that checks its writes does not wait for the reply to a line
// that never went out; the GUI, which does not, waits as it always has.
TEST_F(LinkTest, AReplyToAWriteThatDidNotGoOutIsNotWaitedForWhenWritesAreChecked) {
    for (const bool checked : {true, false}) {
        SCOPED_TRACE(checked);
        WriteCheck writes;
        DeviceLink l{&port, &clock};
        if (checked) l.writes = &writes;
        clock.now = 0;
        port.held = true;
        EXPECT_FALSE(write_command(l, "0X\r"));
        EXPECT_EQ(clock.now, 1025);  // three bytes at 1200 baud and the margin
        EXPECT_EQ(read_reply_line(l, 4000), "");
        EXPECT_EQ(clock.now, checked ? 1025 : 5025);
        EXPECT_TRUE(write_command(l, "0X\r"));
        EXPECT_EQ(writes.failed, checked ? 1 : 0);
        EXPECT_EQ(writes.sent_in_a_row, checked ? 1 : 0);
    }
    EXPECT_EQ(port.unsent, (std::vector<std::string>{"0X\r", "0X\r"}));
}

// Waiting on the port: a reply is done at its line feed, the limit is
// time on the clock, and a hung-up line ends the wait at once.
TEST(LinkWaitingOnThePort, RepliesEndAtTheirLineFeedWithinTheLimit) {
    struct Case {
        const char* name;
        std::vector<std::pair<long long, std::string>> arrivals;
        int limit_ms;
        bool gone;
        std::string reply;
        long long done_at;
    } cases[] = {
        {"line at 230 ms", {{230, "0X:15040718304512000\r\n"}}, 4000, false, "0X:15040718304512000", 230},
        {"line in pieces", {{10, "AB"}, {95, "C"}, {170, "\r\n"}}, 4000, false, "ABC", 170},
        {"silence", {}, 4000, false, "", 4000},
        {"odd limit", {}, 250, false, "", 250},
        {"no line feed", {{50, "ABC"}}, 1000, false, "ABC", 1000},
        {"late line", {{1200, "X\r\n"}}, 1000, false, "", 1000},
        {"hung up", {}, 4000, true, "", 0},
        {"bytes behind the line feed join it", {{40, "12\r\n34"}}, 4000, false, "1234", 40},
    };
    for (const Case& c : cases) {
        VirtualClock clock;
        FakePort port{clock};
        DeviceLink link{&port, &clock, true};
        for (const auto& [at, bytes] : c.arrivals) port.arrive(at, bytes);
        port.gone = c.gone;
        EXPECT_EQ(read_reply_line(link, c.limit_ms), c.reply) << c.name;
        EXPECT_EQ(clock.now, c.done_at) << c.name;
    }
}

}  // namespace
}  // namespace zd::test
