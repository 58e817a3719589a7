// The Win32 serial link under Wine, over a pty whose far end the test drives.
#include "device/win32/serial_port.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "tests/windows/support/wine_peer.h"

namespace ostrel {
namespace {

using test::WinePeer;

constexpr int kCom = 111;  // well above the ports Wine maps for the machine

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t from = 0) {
    std::vector<std::uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), from);
    return bytes;
}

TEST(Win32LineSettings, OnlyTheFourLineMembersChange) {
    DCB reported;
    std::memset(&reported, 0x5A, sizeof reported);  // flow control, DTR/RTS, XON/XOFF: all set
    DCB configured = reported;
    win32::SetLineSettings(configured);
    DCB expected = reported;
    expected.BaudRate = 9600;
    expected.ByteSize = 8;
    expected.Parity = 2;    // even
    expected.StopBits = 0;  // one
    EXPECT_EQ(std::memcmp(&configured, &expected, sizeof(DCB)), 0);
}

class Win32Link : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Connected());
        name = peer.MapPty(kCom);
        ASSERT_FALSE(name.empty());
    }
    // Waits (in polls, with a generous budget) until `count` bytes have arrived.
    bool Await(std::uint16_t count) { return port->WaitForInput(10000, count); }

    WinePeer peer;
    std::string name;
    std::unique_ptr<SerialPort> port = MakeSerialPort();
};

TEST_F(Win32Link, EveryByteValueCrossesBothWaysUnchanged) {
    ASSERT_TRUE(port->OpenPort(name));
    const std::vector<std::uint8_t> bytes = Pattern(256);
    ASSERT_TRUE(port->WriteAll(bytes.data(), 256));
    EXPECT_EQ(peer.Receive(kCom, 256), bytes);

    ASSERT_TRUE(peer.Send(kCom, bytes));
    ASSERT_TRUE(Await(256));
    EXPECT_EQ(port->PendingInputCount(), 256);
    std::vector<std::uint8_t> read(256);
    std::uint32_t got = 0;
    EXPECT_TRUE(port->ReadExact(read.data(), 256, got));
    EXPECT_EQ(got, 256u);
    EXPECT_EQ(read, bytes);
    EXPECT_TRUE(port->WriteAll(nullptr, 0));
    EXPECT_EQ(peer.Pending(kCom), 0);
}

TEST_F(Win32Link, ShortReadEndsAtTheTimeOutsWithWhatArrived) {
    ASSERT_TRUE(port->OpenPort(name));
    struct Case {
        std::uint16_t sent;
        std::uint16_t asked;
    };
    // 100 of 129 ends at the 150 ms interval; none of 10 at the 210 ms total.
    for (const Case c : {Case{100, 129}, Case{3, 10}, Case{0, 10}}) {
        if (c.sent > 0) {
            ASSERT_TRUE(peer.Send(kCom, Pattern(c.sent, 7)));
            ASSERT_TRUE(Await(c.sent));
        }
        std::vector<std::uint8_t> read(c.asked, 0xEE);
        std::uint32_t got = 12345;
        EXPECT_FALSE(port->ReadExact(read.data(), c.asked, got)) << c.sent << " of " << c.asked;
        EXPECT_EQ(got, c.sent);
        EXPECT_EQ(std::vector<std::uint8_t>(read.begin(), read.begin() + c.sent),
                  Pattern(c.sent, 7));
        EXPECT_EQ(port->PendingInputCount(), 0) << "the bytes read are consumed";
    }
}

TEST_F(Win32Link, FlushDiscardsWhatWaitsAndNothingLater) {
    ASSERT_TRUE(port->OpenPort(name));
    port->FlushInput();  // nothing waiting: no read, no block
    ASSERT_TRUE(peer.Send(kCom, Pattern(3000)));
    ASSERT_TRUE(Await(3000));
    port->FlushInput();
    EXPECT_EQ(port->PendingInputCount(), 0);

    ASSERT_TRUE(peer.Send(kCom, {0x79}));
    ASSERT_TRUE(Await(1));
    std::uint8_t byte = 0;
    std::uint32_t got = 0;
    EXPECT_TRUE(port->ReadExact(&byte, 1, got));
    EXPECT_EQ(byte, 0x79);
}

// A closed link fails every operation and reports nothing waiting, whatever the far end sends.
void ExpectClosed(SerialPort& port) {
    std::uint8_t bytes[4] = {1, 2, 3, 4};
    std::uint32_t got = 99;
    EXPECT_EQ(port.PendingInputCount(), 0);
    EXPECT_FALSE(port.WaitForInput(3, 1));
    EXPECT_FALSE(port.ReadExact(bytes, 4, got));
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(port.WriteAll(bytes, 4));
    port.FlushInput();
}

TEST_F(Win32Link, PortsThatDoNotOpenLeaveTheLinkClosed) {
    for (const char* missing : {"COM199", "COM0", "", "NOPE"}) {
        EXPECT_FALSE(port->OpenPort(missing)) << missing;
        ExpectClosed(*port);
    }
    EXPECT_FALSE(port->OpenPort("COM199"));
    EXPECT_EQ(port->LastOpenReport().error, PortOpenError::NotFound);
    EXPECT_FALSE(port->LastOpenReport().systemText.empty());
}

// The line as a fresh handle sees it.
DCB LineOf(const std::string& name) {
    DCB line{};
    line.DCBlength = sizeof line;
    HANDLE handle = CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(GetCommState(handle, &line));
    CloseHandle(handle);
    return line;
}

TEST_F(Win32Link, CloseLeavesTheLineAsFound) {
    const DCB before = LineOf(name);
    ASSERT_NE(before.BaudRate, 9600u);
    ASSERT_TRUE(port->OpenPort(name));
    EXPECT_EQ(LineOf(name).BaudRate, 9600u);
    // A pty drops even parity; the settings read back say so.
    EXPECT_FALSE(port->LastOpenReport().lineSettingsKept);
    port->ClosePort();
    const DCB after = LineOf(name);
    EXPECT_EQ(after.BaudRate, before.BaudRate);
    EXPECT_EQ(after.ByteSize, before.ByteSize);
    EXPECT_EQ(after.Parity, before.Parity);
    EXPECT_EQ(after.StopBits, before.StopBits);
}

TEST_F(Win32Link, RefusedSettingFailsTheOpenAndReleasesThePort) {
    // A pty that already stands at 9600 refuses even parity (error 87).
    ASSERT_TRUE(port->OpenPort(name));
    auto second = MakeSerialPort();
    EXPECT_FALSE(second->OpenPort(name));
    EXPECT_EQ(second->LastOpenReport().error, PortOpenError::SettingsRefused);
    ASSERT_TRUE(peer.Send(kCom, {1, 2, 3}));
    ExpectClosed(*second);
    port->ClosePort();
    EXPECT_TRUE(second->OpenPort(name));
}

TEST_F(Win32Link, AfterCloseNothingTouchesTheReleasedHandle) {
    ASSERT_TRUE(port->OpenPort(name));
    port->ClosePort();
    // Handle values are reused at once: a file opened now may get the port's old value.
    char path[MAX_PATH];
    char dir[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, dir), 0u);
    ASSERT_NE(GetTempFileNameA(dir, "osp", 0, path), 0u);
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(peer.Send(kCom, {5, 6, 7}));
    ExpectClosed(*port);
    port->ClosePort();  // a second close is harmless
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    CloseHandle(file);
}

TEST_F(Win32Link, FarEndHangingUpFailsTheExchangeWithoutHanging) {
    ASSERT_TRUE(port->OpenPort(name));
    ASSERT_TRUE(peer.HangUp(kCom));
    const std::uint8_t frame[2] = {0x11, 0xEE};
    std::uint8_t answer[129];
    std::uint32_t got = 0;
    port->FlushInput();
    EXPECT_FALSE(port->WaitForInput(20, 1));
    EXPECT_FALSE(port->ReadExact(answer, 129, got));
    EXPECT_EQ(got, 0u);
    (void)port->WriteAll(frame, 2);  // a vanished pty may still swallow a write; no hang
    port->ClosePort();
}

}  // namespace
}  // namespace ostrel
