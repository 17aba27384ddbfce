// The Win32 serial port and the device link against the B203 simulator,
// run under Wine by run_win_serial.sh with COM1 (and COM2) on the
// simulator's pty.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "device/link.h"
#include "platform/serial_port.h"
#include "platform/win32/win32_clock.h"

namespace zd {
namespace {

// The runner starts the simulator on COM1 with these values.
const std::string kSimDate = "150407";
const std::string kTimer3 = "W01010101050011063000071500";
// A second simulator on COM2 refuses every timer write.
const char* const kRefusingPort = "Com2:";

struct WinSerial : ::testing::Test {
    std::unique_ptr<SerialPort> port;
    Win32Clock clock;
    DeviceLink link;

    void open(const std::string& name) {
        port = open_serial_port(name);
        ASSERT_TRUE(port) << "cannot open " << name;
        link = DeviceLink{port.get(), &clock};
    }
    void SetUp() override { open("Com1:"); }
    void TearDown() override { close_device_link(link); }

    // One exchange as the tool makes it, timed with the real clock.
    std::string exchange(const std::string& command, int limit_ms, ULONGLONG* elapsed_ms = nullptr) {
        const ULONGLONG t0 = GetTickCount64();
        write_command(link, command);
        std::string reply = read_reply_line(link, limit_ms);
        if (elapsed_ms) *elapsed_ms = GetTickCount64() - t0;
        return reply;
    }
    std::string read_timer(int number) {
        discard_input(link);
        return exchange("0C0" + std::to_string(number) + "\r", 4000);
    }
    std::string write_timer(int number, const std::string& record) {
        discard_input(link);
        return exchange("0E0" + std::to_string(number) + record + "\r", 1000);
    }
};

TEST_F(WinSerial, StatusQueryReturnsTheDeviceRecord) {
    // An acknowledgement left in the queue must not join the record.
    write_command(link, "0R0\r");
    clock.pause_ms(500);
    discard_input(link);
    ULONGLONG elapsed = 0;
    const std::string reply = exchange("0X\r", 4000, &elapsed);
    ASSERT_EQ(reply.size(), 20u) << '"' << reply << '"';
    EXPECT_EQ(reply.substr(3, 6), kSimDate);
    EXPECT_EQ(reply.substr(9, 2), "18");
    EXPECT_EQ(reply.substr(15, 5), "10000");
    // A complete line ends the wait at the next poll, far below the limit.
    EXPECT_LT(elapsed, 2000u);
}

TEST_F(WinSerial, TimerReadReturnsTheStoredRecord) {
    EXPECT_EQ(read_timer(3), "0C033" + kTimer3);
    EXPECT_EQ(read_timer(5), "0C055E");
}

TEST_F(WinSerial, TimerWriteIsReadBack) {
    const std::string record = "W10000011121000203000230000";
    const std::string answer = write_timer(2, record);
    EXPECT_NE(answer, "\x07");
    EXPECT_EQ(answer, "OK");
    EXPECT_EQ(read_timer(2), "0C022" + record);
}

TEST_F(WinSerial, DateRecordWriteIsReadBack) {
    const std::string record = "D2403060121000200000213000";
    EXPECT_EQ(write_timer(1, record), "OK");
    EXPECT_EQ(read_timer(1), "0C011" + record);
}

TEST_F(WinSerial, EraseEmptiesTheTimer) {
    ASSERT_EQ(write_timer(4, kTimer3), "OK");
    ASSERT_EQ(read_timer(4), "0C044" + kTimer3);
    discard_input(link);
    write_command(link, "0E04E\r");
    read_reply_line(link, 1000);
    EXPECT_EQ(read_timer(4), "0C044E");
}

TEST_F(WinSerial, InvalidRecordIsRefusedWithBel) {
    // Hour 25 is no time of day.
    EXPECT_EQ(write_timer(2, "W10000011121000253000230000"), "\x07");
    EXPECT_EQ(read_timer(3), "0C033" + kTimer3);
}

TEST_F(WinSerial, RefusingDeviceAnswersBel) {
    close_device_link(link);
    open(kRefusingPort);
    EXPECT_EQ(write_timer(2, kTimer3), "\x07");
    EXPECT_EQ(read_timer(2), "0C022E");
}

// XOFF before every reply, never XON: a held write ends at its deadline and
// lifts the hold, so the next one goes out.
TEST_F(WinSerial, AWriteHeldByXoffEndsAtItsDeadline) {
    close_device_link(link);
    open("Com3:");
    EXPECT_EQ(exchange("0X\r", 4000).size(), 20u);
    const ULONGLONG t0 = GetTickCount64();
    EXPECT_FALSE(write_command(link, "0C01\r"));
    const ULONGLONG held = GetTickCount64() - t0;
    EXPECT_GE(held + 20, static_cast<ULONGLONG>(write_deadline_ms(5)));  // the tick's granularity
    EXPECT_LT(held, static_cast<ULONGLONG>(write_deadline_ms(5)) + 1000);
    EXPECT_EQ(exchange("0X\r", 4000).size(), 20u);
}

TEST_F(WinSerial, SilentAddressGivesEmptyReplyAfterTheLimit) {
    discard_input(link);
    ULONGLONG elapsed = 0;
    EXPECT_EQ(exchange("7X\r", 1000, &elapsed), "");
    EXPECT_GE(elapsed, 1000u);
    EXPECT_LT(elapsed, 2500u);
}

TEST_F(WinSerial, LinkStaysUsableAcrossReopening) {
    close_device_link(link);
    open("Com1:");
    discard_input(link);
    EXPECT_EQ(exchange("0X\r", 4000).size(), 20u);
}

// The line settings outlive the handle on the pty, so a second handle shows
// what opening the port applied.
bool comm_state(DCB& dcb, const DCB* set_first = nullptr) {
    HANDLE h = CreateFileA("\\\\.\\Com1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    if (set_first) ok = SetCommState(h, const_cast<DCB*>(set_first)) != 0;
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    ok = ok && GetCommState(h, &dcb);
    CloseHandle(h);
    return ok;
}

TEST(WinSerialOpen, OpeningAppliesLineSettingsAndSoftwareFlowControl) {
    DCB other{};
    ASSERT_TRUE(comm_state(other));
    other.BaudRate = CBR_9600;
    other.ByteSize = 7;
    other.Parity = EVENPARITY;
    other.StopBits = TWOSTOPBITS;
    other.fOutX = FALSE;
    other.fInX = FALSE;
    DCB dcb{};
    ASSERT_TRUE(comm_state(dcb, &other));
    ASSERT_EQ(dcb.BaudRate, static_cast<DWORD>(CBR_9600));

    auto port = open_serial_port("Com1:");
    ASSERT_TRUE(port);
    port->close();

    ASSERT_TRUE(comm_state(dcb));
    EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(CBR_1200));
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_TRUE(dcb.fOutX);
    EXPECT_TRUE(dcb.fInX);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_FALSE(dcb.fOutxCtsFlow);
    EXPECT_NE(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
}

TEST(WinSerialOpen, MissingPortGivesNull) {
    EXPECT_EQ(open_serial_port("Com9:"), nullptr);
}

}  // namespace
}  // namespace zd
