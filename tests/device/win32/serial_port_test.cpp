// The Win32 serial link under Wine, over a pty whose far end the test drives.
#include "device/win32/serial_port.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "device/connection.h"
#include "device/hotplug.h"
#include "tests/windows/support/wine_peer.h"

namespace ostrel {
namespace {

using test::WinePeer;

constexpr int kCom = 111;  // well above the ports Wine maps for the machine

// Whatever a terminal program left on the port, the line set is the one the read-back accepts
// (8E1 at the rate, no flow control, no byte dropped, no stall after an error); DTR and RTS stay
// as found unless they follow a handshake. The bytes themselves cross in the Win32Link tests.
TEST(Win32LineSettings, AnyLineFoundIsSetToOneTheReadBackAccepts) {
    struct Case {
        int fill;
        DWORD dtr, rts;                  // as found
        DWORD expectedDtr, expectedRts;  // as set
    };
    for (const Case c : {Case{0x00, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, DTR_CONTROL_DISABLE,
                              RTS_CONTROL_DISABLE},
                         Case{0xFF, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE, DTR_CONTROL_ENABLE,
                              RTS_CONTROL_ENABLE},
                         Case{0x5A, DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, DTR_CONTROL_ENABLE,
                              RTS_CONTROL_ENABLE}}) {
        DCB reported;
        std::memset(&reported, c.fill, sizeof reported);
        reported.fDtrControl = c.dtr & 3u;
        reported.fRtsControl = c.rts & 3u;
        DCB configured = reported;
        win32::SetLineSettings(configured, 19200);
        EXPECT_EQ(configured.fDtrControl, c.expectedDtr & 3u) << "fill " << c.fill;
        EXPECT_EQ(configured.fRtsControl, c.expectedRts & 3u) << "fill " << c.fill;
        // Some drivers refuse a DCB whose flow characters are equal or whose limits pass the
        // queue, flow control or not.
        EXPECT_NE(configured.XonChar, configured.XoffChar) << "fill " << c.fill;
        EXPECT_LT(configured.XonLim, 8192u) << "fill " << c.fill;
        EXPECT_LT(configured.XoffLim, 8192u) << "fill " << c.fill;
        EXPECT_TRUE(win32::LineSettingsHeld(configured, 19200)) << "fill " << c.fill;
    }
}

// The read-back after setting the line tells a driver that quietly kept any of them.
TEST(Win32LineSettings, ReadBackNoticesAnyMemberNotTaken) {
    DCB set{};
    win32::SetLineSettings(set, 9600);
    ASSERT_TRUE(win32::LineSettingsHeld(set, 9600));
    EXPECT_FALSE(win32::LineSettingsHeld(set, 19200));
    const std::vector<std::function<void(DCB&)>> kept = {
        [](DCB& d) { d.Parity = NOPARITY; },
        [](DCB& d) { d.ByteSize = 7; },
        [](DCB& d) { d.StopBits = TWOSTOPBITS; },
        [](DCB& d) { d.fBinary = FALSE; },
        [](DCB& d) { d.fParity = FALSE; },
        [](DCB& d) { d.fOutxCtsFlow = TRUE; },
        [](DCB& d) { d.fOutxDsrFlow = TRUE; },
        [](DCB& d) { d.fDsrSensitivity = TRUE; },
        [](DCB& d) { d.fOutX = TRUE; },
        [](DCB& d) { d.fInX = TRUE; },
        [](DCB& d) { d.fNull = TRUE; },
        [](DCB& d) { d.fErrorChar = TRUE; },
        [](DCB& d) { d.fAbortOnError = TRUE; },
        [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; },
        [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; },
    };
    for (std::size_t i = 0; i < kept.size(); ++i) {
        DCB readBack = set;
        kept[i](readBack);
        EXPECT_FALSE(win32::LineSettingsHeld(readBack, 9600)) << "member " << i;
    }
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
    // A pty drops even parity; the settings read back say so.
    EXPECT_FALSE(port->LastOpenReport().lineSettingsKept);
    port->ClosePort();
    const DCB after = LineOf(name);
    EXPECT_EQ(after.BaudRate, before.BaudRate);
    EXPECT_EQ(after.ByteSize, before.ByteSize);
    EXPECT_EQ(after.Parity, before.Parity);
    EXPECT_EQ(after.StopBits, before.StopBits);
}

// A terminal program left XON/XOFF on the port: the link still carries 0x11 (the Read command)
// and 0x13 both ways, and a received 0x13 does not stop its output.
TEST_F(Win32Link, FlowControlLeftByAnotherProgramDropsNoByte) {
    {
        HANDLE handle = CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        DCB line{};
        line.DCBlength = sizeof line;
        ASSERT_TRUE(GetCommState(handle, &line));
        line.fOutX = line.fInX = TRUE;
        EXPECT_TRUE(SetCommState(handle, &line));
        CloseHandle(handle);
        ASSERT_TRUE(LineOf(name).fOutX) << "the preset stays on the pty";
    }
    ASSERT_TRUE(port->OpenPort(name));
    const std::vector<std::uint8_t> fed = {0x79, 0x11, 0x13, 0x55, 0x13, 0x79};
    ASSERT_TRUE(peer.Send(kCom, fed));
    EXPECT_TRUE(Await(6)) << port->PendingInputCount() << " of 6 arrived";
    std::vector<std::uint8_t> read(6);
    std::uint32_t got = 0;
    EXPECT_TRUE(port->ReadExact(read.data(), 6, got));
    EXPECT_EQ(read, fed);
    const std::uint8_t frame[2] = {0x11, 0xEE};
    EXPECT_TRUE(port->WriteAll(frame, 2));
    EXPECT_EQ(peer.Receive(kCom, 2), std::vector<std::uint8_t>(frame, frame + 2));
}

TEST_F(Win32Link, RefusedSettingFailsTheOpenAndReleasesThePort) {
    // A pty that already stands at 9600 refuses even parity (error 87). Wine lets a second
    // handle open its ports whatever the share mode, so the second open reaches the setting.
    ASSERT_TRUE(port->OpenPort(name));
    auto second = MakeSerialPort();
    EXPECT_FALSE(second->OpenPort(name));
    EXPECT_EQ(second->LastOpenReport().error, PortOpenError::SettingsRefused);
    ASSERT_TRUE(peer.Send(kCom, {1, 2, 3}));
    ExpectClosed(*second);
    port->ClosePort();
    EXPECT_TRUE(second->OpenPort(name));
}

// Wine checks sharing on files but not on its serial devices, so a file stands in for a port
// that another program holds, opened sharing reading and writing as terminal programs do: the
// updater's exclusive open is refused as in use instead of sharing the line with it.
TEST(Win32PortSharing, APortAnotherProgramHoldsIsRefusedAsInUse) {
    char dir[MAX_PATH];
    char path[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, dir), 0u);
    ASSERT_NE(GetTempFileNameA(dir, "osp", 0, path), 0u);
    HANDLE holder =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    auto port = MakeSerialPort();
    EXPECT_FALSE(port->OpenPort(path));
    EXPECT_EQ(port->LastOpenReport().error, PortOpenError::InUse);
    CloseHandle(holder);
    EXPECT_FALSE(port->OpenPort(path));
    EXPECT_EQ(port->LastOpenReport().error, PortOpenError::NotSerialPort) << "once let go";
    DeleteFileA(path);
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

// The handles the process holds (GetProcessHandleCount is a stub under Wine).
int HandlesHeld() {
    int held = 0;
    DWORD flags = 0;
    for (std::uintptr_t h = 4; h < 0x10000; h += 4) held += GetHandleInformation(HANDLE(h), &flags);
    return held;
}

// The port is released at the hang-up, as on Linux: its close has nothing left to give back.
TEST_F(Win32Link, FarEndHangingUpFailsTheExchangeWithoutHanging) {
    ASSERT_TRUE(port->OpenPort(name));
    ASSERT_TRUE(peer.HangUp(kCom));
    const std::uint8_t frame[2] = {0x11, 0xEE};
    std::uint8_t answer[129];
    std::uint32_t got = 0;
    // Wine's reads then end at once with no byte and no error; the port's status call tells.
    EXPECT_FALSE(port->WaitForInput(20, 1));
    EXPECT_TRUE(port->HungUp());
    port->FlushInput();
    EXPECT_FALSE(port->ReadExact(answer, 129, got));
    EXPECT_EQ(got, 0u);
    (void)port->WriteAll(frame, 2);  // a vanished pty may still swallow a write; no hang
    EXPECT_TRUE(port->HungUp());
    const int held = HandlesHeld();
    port->ClosePort();
    EXPECT_EQ(HandlesHeld(), held);
    EXPECT_TRUE(port->HungUp());
    EXPECT_FALSE(port->OpenPort("COM199"));
    EXPECT_FALSE(port->HungUp()) << "a new open starts afresh";
}

// Removal notices name the kind of device: another CP210x pulled out leaves the port whose own
// device still answers open; its own pull-out closes it.
TEST_F(Win32Link, OnlyTheRemovalOfItsOwnDeviceClosesTheOpenPort) {
    UpdaterState state;
    static FirmwareImage image{};
    auto directory = MakePortDirectory();
    BootloaderProtocol protocol(*port, image, state);
    Connector connector(state, *port, *directory, protocol);
    struct Notices final : DeviceEventSource {
        int NotificationDescriptor() const override { return -1; }
        void ReadNotifications() override {}
    } notices;
    ASSERT_TRUE(port->OpenPort(name));
    state.PortOpen = state.DeviceReady = true;
    notices.Record(static_cast<PendingEvent>(kBridgeRemoved));
    ActOnPendingDeviceEvent(notices, state, connector);
    EXPECT_TRUE(state.PortOpen) << "another adapter's removal";
    EXPECT_EQ(notices.PendingNotice(), kNoDeviceEvent);
    ASSERT_TRUE(peer.Send(kCom, {0x79}));
    EXPECT_TRUE(Await(1)) << "the port still works";

    ASSERT_TRUE(peer.HangUp(kCom));
    notices.Record(static_cast<PendingEvent>(kBridgeRemoved));
    ActOnPendingDeviceEvent(notices, state, connector);
    EXPECT_FALSE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
}

// Every way Windows and the VCP drivers report a device gone under an open handle counts as a
// pull-out; a time-out or a refused argument does not.
TEST(Win32PullOut, OnlyTheCodesOfAVanishedDeviceCountAsAPullOut) {
    for (const DWORD gone :
         {ERROR_DEVICE_REMOVED, ERROR_DEVICE_NOT_CONNECTED, ERROR_NOT_READY,
          ERROR_OPERATION_ABORTED, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE, ERROR_ACCESS_DENIED}) {
        EXPECT_TRUE(win32::MeansDeviceGone(gone)) << gone;
    }
    for (const DWORD kept :
         {DWORD{ERROR_SUCCESS}, DWORD{ERROR_TIMEOUT}, DWORD{ERROR_SEM_TIMEOUT},
          DWORD{ERROR_INVALID_PARAMETER}, DWORD{ERROR_IO_PENDING}, DWORD{ERROR_INVALID_HANDLE}}) {
        EXPECT_FALSE(win32::MeansDeviceGone(kept)) << kept;
    }
}

}  // namespace
}  // namespace ostrel
