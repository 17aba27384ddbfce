#include <unistd.h>

#include <thread>

#include "tests/integration/sim_fixture.h"

namespace zd::sim {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const std::string kWeek = "W01010101050011063000071500";
const std::string kDateRecord = "D2403060121000200000213000";

long long ms_since(steady_clock::time_point t0) {
    return std::chrono::duration_cast<milliseconds>(steady_clock::now() - t0).count();
}

using PtyTest = SimFixture;

TEST_F(PtyTest, StatusQueryReturnsATwentyCharacterRecord) {
    start(base_config());
    discard_input(link);
    const std::string reply = exchange("0X\r", 4000);
    ASSERT_EQ(reply.size(), 20u) << reply;
    EXPECT_EQ(reply.substr(0, 3), "0X:");
    EXPECT_EQ(reply.substr(3, 6), "150407");
    EXPECT_EQ(reply.substr(9, 4), "1830");
    EXPECT_EQ(reply.substr(15, 5), "12000");
    const auto lines = server->received_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "0X");
}

TEST_F(PtyTest, TimerWriteReadEraseRoundTrip) {
    start(base_config());
    EXPECT_EQ(exchange("0E03" + kWeek + "\r", 1000), "OK");
    EXPECT_EQ(server->with_model([](Model& m) { return m.timer(3); }), kWeek);
    discard_input(link);
    EXPECT_EQ(exchange("0C03\r", 4000), "0C033" + kWeek);
    EXPECT_EQ(exchange("0E02" + kDateRecord + "\r", 1000), "OK");
    discard_input(link);
    EXPECT_EQ(exchange("0C02\r", 4000), "0C022" + kDateRecord);
    EXPECT_EQ(exchange("0E03E\r", 1000), "OK");
    discard_input(link);
    EXPECT_EQ(exchange("0C03\r", 4000), "0C033E");

    const std::vector<std::string> received = {"0E03" + kWeek, "0C03", "0E02" + kDateRecord, "0C02", "0E03E",
                                               "0C03"};
    EXPECT_EQ(server->received_lines(), received);
    const std::vector<std::string> sent = {"OK\r\n", "0C033" + kWeek + "\r\n", "OK\r\n",
                                           "0C022" + kDateRecord + "\r\n", "OK\r\n", "0C033E\r\n"};
    EXPECT_EQ(server->sent_replies(), sent);
}

TEST_F(PtyTest, InvalidRecordIsRefusedWithALoneBel) {
    start(base_config());
    EXPECT_EQ(exchange("0E01W0101010105001106300007150\r", 1000), "\x07");
    EXPECT_EQ(exchange("0E01W01010101050011246000071500\r", 1000), "\x07");
    EXPECT_EQ(server->with_model([](Model& m) { return m.timer(1); }), "");
    EXPECT_EQ(server->sent_replies().back(), "\x07\r\n");
}

TEST_F(PtyTest, RefusedWritesAnswerBelForValidRecords) {
    SimConfig c = base_config();
    c.model.refuse_writes = true;
    c.preset.timers[0] = kWeek;
    start(c);
    EXPECT_EQ(exchange("0E01" + kDateRecord + "\r", 1000), "\x07");
    discard_input(link);
    EXPECT_EQ(exchange("0C01\r", 4000), "0C011" + kWeek);
}

TEST_F(PtyTest, UnreadAcknowledgementJoinsTheNextReply) {
    start(base_config());
    write_command(link, "0S2114\r");
    write_command(link, "0X\r");
    clock.pause_ms(600);  // both answers are queued by now
    const std::string joined = read_reply_line(link, 4000);
    EXPECT_EQ(joined.size(), 22u) << joined;
    EXPECT_EQ(joined.substr(0, 5), "OK0X:");
    EXPECT_EQ(joined.substr(17), "21140");

    // With the waiting input discarded first, the record stands alone.
    write_command(link, "0S1200\r");
    clock.pause_ms(300);
    discard_input(link);
    EXPECT_EQ(exchange("0X\r", 4000).size(), 20u);
}

TEST_F(PtyTest, SilentAddressGivesTheEmptyTextAfterItsLimit) {
    start(base_config());
    long long elapsed = 0;
    EXPECT_EQ(exchange("5X\r", 1000, &elapsed), "");
    EXPECT_GE(elapsed, 1000);
    EXPECT_LT(elapsed, 1600);
    EXPECT_EQ(exchange("3X\r", 5000), "305");
}

TEST_F(PtyTest, SilencedB203StaysSilentButTakesCommands) {
    SimConfig c = base_config();
    c.faults.silent_addresses[0] = true;
    start(c);
    EXPECT_EQ(exchange("0X\r", 500), "");
    EXPECT_EQ(exchange("0S2000\r", 300), "");
    EXPECT_EQ(server->with_model([](Model& m) { return m.settings(); }), "2000");
    EXPECT_EQ(exchange("3X\r", 2000), "305");
}

// Waits for a whole reply line and tells when its first and last bytes came.
struct Arrival {
    std::string bytes;
    long long first_ms = -1;
    long long last_ms = -1;
};

Arrival watch_reply(SerialPort& port, steady_clock::time_point t0, int limit_ms) {
    Arrival a;
    while (ms_since(t0) < limit_ms) {
        while (port.bytes_waiting() > 0) {
            unsigned char b = 0;
            if (!port.read_byte(b)) break;
            if (a.first_ms < 0) a.first_ms = ms_since(t0);
            a.bytes.push_back(static_cast<char>(b));
            if (b == '\n') {
                a.last_ms = ms_since(t0);
                return a;
            }
        }
        std::this_thread::sleep_for(milliseconds(2));
    }
    return a;
}

TEST_F(PtyTest, BytesArriveAtLineRate) {
    SimConfig c = base_config();
    c.preset.timers[2] = kWeek;
    start(c);
    const auto t0 = steady_clock::now();
    write_command(link, "0C03\r");
    const Arrival a = watch_reply(*port, t0, 3000);
    ASSERT_EQ(a.bytes, "0C033" + kWeek + "\r\n");  // 32 characters and the line end
    // 34 bytes of 8.33 ms after a 20 ms turnaround.
    EXPECT_GE(a.last_ms, 260);
    EXPECT_GE(a.last_ms - a.first_ms, 250);
    EXPECT_GE(a.first_ms, 20);
    EXPECT_LT(a.last_ms, 600);
}

TEST_F(PtyTest, WithoutPacingTheReplyComesAtOnce) {
    SimConfig c = base_config();
    c.pacing = false;
    c.preset.timers[2] = kWeek;
    start(c);
    const auto t0 = steady_clock::now();
    write_command(link, "0C03\r");
    const Arrival a = watch_reply(*port, t0, 3000);
    ASSERT_EQ(a.bytes.size(), 34u);
    EXPECT_LT(a.last_ms - a.first_ms, 50);
    EXPECT_LT(a.last_ms, 150);
}

TEST_F(PtyTest, XoffHoldsTheReplyUntilXon) {
    start(base_config());
    write_command(link, "\x13");
    write_command(link, "0X\r");
    clock.pause_ms(400);
    EXPECT_EQ(port->bytes_waiting(), 0);
    write_command(link, "\x11");
    EXPECT_EQ(exchange("", 4000).size(), 20u);
    const std::vector<std::string> received = {"0X"};
    EXPECT_EQ(server->received_lines(), received);
}

// An XOFF without its XON holds a write only until its deadline; then the
// line is free again for the next one, and for whoever opens it next.
TEST_F(PtyTest, AWriteHeldByXoffEndsAtItsDeadline) {
    SimConfig c = base_config();
    c.faults.stray = "\x13";
    start(c);
    EXPECT_EQ(exchange("0X\r", 4000).size(), 20u);
    const auto t0 = steady_clock::now();
    EXPECT_FALSE(port->write_bytes("0C01\r"));
    const long long held_ms = ms_since(t0);
    EXPECT_GE(held_ms, write_deadline_ms(5));
    EXPECT_LT(held_ms, write_deadline_ms(5) + 500);
    EXPECT_EQ(exchange("3X\r", 2000), "305");
    port->close();
    open_port();
    EXPECT_EQ(exchange("0X\r", 4000).size(), 20u);
    EXPECT_EQ(server->received_lines(), (std::vector<std::string>{"0X", "3X", "0X"}));
}

TEST_F(PtyTest, StrayLineFeedIsNoPartOfACommand) {
    start(base_config());
    EXPECT_EQ(exchange("\n3X\r\n", 2000), "305");
    const std::vector<std::string> received = {"3X"};
    EXPECT_EQ(server->received_lines(), received);
}

TEST_F(PtyTest, ClientsMayOpenAndCloseTheLineRepeatedly) {
    start(base_config());
    for (int round = 0; round < 5; ++round) {
        EXPECT_EQ(exchange("3X\r", 2000), "305") << round;
        // Leave before the answer: it must not upset the simulator.
        write_command(link, "3X\r");
        port->close();
        port.reset();
        open_port();
        clock.pause_ms(150);
        discard_input(link);
    }
    EXPECT_TRUE(server->running());
}

TEST_F(PtyTest, ExtraAndStrayBytesSpoilTheRecordLength) {
    SimConfig c = base_config();
    c.faults.extra = "Z";
    c.faults.stray = "\x07";
    start(c);
    const std::string reply = exchange("0X\r", 4000);
    EXPECT_EQ(reply.size(), 22u) << reply;
    EXPECT_EQ(reply.front(), '\x07');
    EXPECT_EQ(reply.back(), 'Z');
}

TEST_F(PtyTest, GarbageReplaysNoRecord) {
    SimConfig c = base_config();
    c.faults.garbage = true;
    start(c);
    const std::string reply = exchange("0X\r", 4000);
    EXPECT_FALSE(reply.empty());
    EXPECT_NE(reply.substr(0, 3), "0X:");
}

TEST_F(PtyTest, BurstsStillMakeOneLine) {
    SimConfig c = base_config();
    c.faults.burst_gap_ms = 250;
    c.faults.burst_size = 8;
    start(c);
    long long elapsed = 0;
    const std::string reply = exchange("0X\r", 4000, &elapsed);
    EXPECT_EQ(reply.size(), 20u);
    EXPECT_GE(elapsed, 20 + 22 * 8 + 2 * 250);
}

TEST_F(PtyTest, LateReplyIsReadByTheNextExchange) {
    SimConfig c = base_config();
    c.faults.late_ms = 1200;
    start(c);
    EXPECT_EQ(exchange("3X\r", 1000), "");
    EXPECT_EQ(read_reply_line(link, 2000), "305");
}

TEST_F(PtyTest, LineDropsInTheMiddleOfTheChosenReply) {
    SimConfig c = base_config();
    c.faults.hangup_after = 2;
    start(c);
    EXPECT_EQ(exchange("3X\r", 2000), "305");
    EXPECT_EQ(exchange("0X\r", 1000), "0X:15040718");
    EXPECT_TRUE(server->hung_up());
    EXPECT_EQ(exchange("0X\r", 300), "");
    EXPECT_TRUE(server->running());
}

}  // namespace
}  // namespace zd::sim
