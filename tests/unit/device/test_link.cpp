#include <gtest/gtest.h>

#include <climits>

#include "device/link.h"
#include "tests/fakes/fake_port.h"

namespace zd::test {
namespace {

struct LinkTest : ::testing::Test {
    VirtualClock clock;
    FakePort port{clock};
    DeviceLink link{&port, &clock};
};

TEST_F(LinkTest, CompleteLineReturnsAfterOnePause) {
    port.arrive(0, "ABC\r\n");
    EXPECT_EQ(read_reply_line(link, 4000), "ABC");
    EXPECT_EQ(clock.now, 100);
}

TEST_F(LinkTest, TwoQueuedLinesAreJoined) {
    port.arrive(0, "12\r\n34\r\n");
    EXPECT_EQ(read_reply_line(link, 4000), "1234");
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

TEST_F(LinkTest, BytesOfABurstAreTakenAtTheNextPoll) {
    port.arrive(150, "05");
    port.arrive(250, "003E\r\nrest");
    EXPECT_EQ(read_reply_line(link, 4000), "05003Erest");
    EXPECT_EQ(clock.now, 400);
}

TEST_F(LinkTest, CarriageReturnsAndZeroBytesAreDropped) {
    port.arrive(0, std::string("A\r\0B\rC\n", 7));
    EXPECT_EQ(read_reply_line(link, 1000), "ABC");
}

TEST_F(LinkTest, LineWithoutLineFeedYieldsWhatArrived) {
    port.arrive(300, "partial");
    EXPECT_EQ(read_reply_line(link, 1000), "partial");
    EXPECT_EQ(clock.now, 1000);
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

}  // namespace
}  // namespace zd::test
