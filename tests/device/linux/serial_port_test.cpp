// The Linux serial port over real pseudo-terminals, the test playing the device side.
#include "device/serial_port.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "device/linux/line_settings.h"
#include "tests/device/linux/raw_pty.h"

namespace ostrel {
namespace {

using test::NextFreeDescriptor;
using test::RawPty;

TEST(LinuxSerialPort, OpenConfiguresTheLineAndCloseLeavesItAsFound) {
    RawPty pty;
    ASSERT_TRUE(pty.Ok());
    termios before{};
    ASSERT_EQ(tcgetattr(pty.holder, &before), 0);
    auto port = MakeSerialPort();
    ASSERT_TRUE(port->OpenPort(pty.path));

    termios t{};
    ASSERT_EQ(tcgetattr(pty.holder, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(pty.Exclusive());
    // A pty drops even parity; the settings read back say so.
    EXPECT_FALSE(port->LastOpenReport().lineSettingsKept);

    // The exclusive flag would outlive the descriptor on a tty someone else keeps open.
    port->ClosePort();
    EXPECT_FALSE(pty.Exclusive());
    termios after{};
    ASSERT_EQ(tcgetattr(pty.holder, &after), 0);
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0) << "the line as found";
}

// One updater per port, root included: the second open fails at once and leaves the first
// one's line and exclusive hold alone.
TEST(LinuxSerialPort, ASecondOpenOfAnOpenPortIsInUse) {
    RawPty pty;
    ASSERT_TRUE(pty.Ok());
    auto first = MakeSerialPort();
    ASSERT_TRUE(first->OpenPort(pty.path));
    auto second = MakeSerialPort();
    EXPECT_FALSE(second->OpenPort(pty.path));
    EXPECT_EQ(second->LastOpenReport().error, PortOpenError::InUse);
    EXPECT_TRUE(pty.Exclusive());
    ASSERT_EQ(write(pty.master, "y", 1), 1);
    EXPECT_TRUE(first->WaitForInput(5000, 1));
    first->ClosePort();
    EXPECT_TRUE(second->OpenPort(pty.path));
}

struct FailedOpen {
    const char* what;
    std::function<std::string(RawPty&)> target;
    PortOpenError error;
};
void PrintTo(const FailedOpen& c, std::ostream* os) {
    *os << c.what;
}

class FailedOpenTest : public testing::TestWithParam<FailedOpen> {
  protected:
    void TearDown() override {
        unlink(kFile);
        rmdir(kDirectory);
    }
    static constexpr const char* kFile = "/tmp/ostrel-port-test-file";
    static constexpr const char* kDirectory = "/tmp/ostrel-port-test-dir";
};

TEST_P(FailedOpenTest, IsFalseWithItsCauseAndLeavesNoDescriptorOpen) {
    RawPty pty;
    ASSERT_TRUE(pty.Ok());
    const std::string target = GetParam().target(pty);
    const int next = NextFreeDescriptor();
    auto port = MakeSerialPort();
    // Root may open anything: the permission case drops to an ordinary user for the open.
    const bool asNobody = GetParam().error == PortOpenError::AccessDenied && geteuid() == 0;
    if (asNobody) {
        ASSERT_EQ(seteuid(65534), 0);
    }
    const bool opened = port->OpenPort(target);
    if (asNobody) {
        ASSERT_EQ(seteuid(0), 0);
    }
    EXPECT_FALSE(opened);
    EXPECT_EQ(port->LastOpenReport().error, GetParam().error);
    EXPECT_FALSE(port->LastOpenReport().systemText.empty());
    EXPECT_EQ(NextFreeDescriptor(), next);
    EXPECT_EQ(port->PendingInputCount(), 0);
    std::uint8_t byte = 0x7F;
    EXPECT_FALSE(port->WriteAll(&byte, 1));
}

std::string File(mode_t mode) {
    const int fd = open("/tmp/ostrel-port-test-file", O_CREAT | O_WRONLY | O_TRUNC, mode);
    close(fd);
    chmod("/tmp/ostrel-port-test-file", mode);
    return "/tmp/ostrel-port-test-file";
}

INSTANTIATE_TEST_SUITE_P(
    Ports, FailedOpenTest,
    testing::Values(FailedOpen{"missing",
                               [](RawPty&) { return std::string("/dev/ttyOSTREL-none"); },
                               PortOpenError::NotFound},
                    FailedOpen{"not_a_tty", [](RawPty&) { return std::string("/dev/null"); },
                               PortOpenError::NotSerialPort},
                    FailedOpen{"regular_file", [](RawPty&) { return File(0644); },
                               PortOpenError::NotSerialPort},
                    FailedOpen{"directory",
                               [](RawPty&) {
                                   mkdir("/tmp/ostrel-port-test-dir", 0755);
                                   return std::string("/tmp/ostrel-port-test-dir");
                               },
                               PortOpenError::NotSerialPort},
                    FailedOpen{"permission_denied", [](RawPty&) { return File(0600); },
                               PortOpenError::AccessDenied},
                    // A pty already set as asked, but without parity, refuses a request that
                    // differs in parity alone: the driver refusing a setting.
                    FailedOpen{"refused_setting",
                               [](RawPty& pty) {
                                   termios line{};
                                   tcgetattr(pty.holder, &line);
                                   SetBootloaderLine(line);
                                   tcsetattr(pty.holder, TCSANOW, &line);
                                   return pty.path;
                               },
                               PortOpenError::SettingsRefused}),
    [](const testing::TestParamInfo<FailedOpen>& param) { return param.param.what; });

// The device side of the line on a thread of its own. Once sent bytes have reached the host's
// side, it can wait until the host has read them: the slave's input queue, shared by all its
// descriptors, is then empty.
class Device {
  public:
    explicit Device(RawPty& pty) : pty_(pty) {}
    void Send(std::size_t count) {
        const std::vector<std::uint8_t> bytes(count, 0x55);
        ASSERT_EQ(write(pty_.master, bytes.data(), count), static_cast<ssize_t>(count));
    }
    void AwaitReadByHost() {
        int waiting = 1;
        while (ioctl(pty_.holder, FIONREAD, &waiting) == 0 && waiting > 0) usleep(1000);
    }

  private:
    RawPty& pty_;
};

// The read time-outs decide how many bytes a read gathers: the gap between two bytes ends it
// after 150 ms, and the whole read ends 200 ms + 1 ms a byte after it began.
class ReadEnds : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        ASSERT_TRUE(port->OpenPort(pty.path));
    }
    // Reads `count` bytes while the device side does its part on a thread; how many came.
    std::uint32_t ReadWhile(std::uint16_t count, const std::function<void()>& deviceSide) {
        std::thread line(deviceSide);
        std::vector<std::uint8_t> buffer(count);
        std::uint32_t got = 0;
        EXPECT_FALSE(port->ReadExact(buffer.data(), count, got));
        line.join();
        return got;
    }

    RawPty pty;
    int number = NextFreeDescriptor();  // the port's descriptor
    std::unique_ptr<SerialPort> port = MakeSerialPort();
    Device device{pty};
};

TEST_F(ReadEnds, AfterAGapOfMoreThan150Ms) {
    device.Send(10);
    ASSERT_TRUE(port->WaitForInput(5000, 10));
    EXPECT_EQ(ReadWhile(2000,
                        [&] {
                            device.AwaitReadByHost();
                            usleep(600'000);  // past the gap, within the 2,200 ms of the read
                            device.Send(10);
                        }),
              10u);
}

// A byte every 100 ms never opens a 150 ms gap; 25 of them take 2.5 s, and a read of 129
// bytes gives up after 329 ms with a few.
TEST_F(ReadEnds, At200MsPlus1MsAByte) {
    EXPECT_LT(ReadWhile(129,
                        [&] {
                            for (int i = 0; i < 25; ++i) {
                                device.Send(1);
                                usleep(100'000);
                            }
                        }),
              10u);
}

TEST_F(ReadEnds, AtAHangUpAndReleasesThePort) {
    device.Send(1);
    ASSERT_TRUE(port->WaitForInput(5000, 1));
    EXPECT_EQ(ReadWhile(2000,
                        [&] {
                            device.AwaitReadByHost();
                            pty.HangUp();
                        }),
              1u);
    EXPECT_EQ(fcntl(number, F_GETFD), -1);  // given back, not left to the next open
}

TEST(LinuxSerialPort, WaitsAreCountedInPolls) {
    RawPty pty;
    ASSERT_TRUE(pty.Ok());
    auto port = MakeSerialPort();
    ASSERT_TRUE(port->OpenPort(pty.path));
    ASSERT_EQ(write(pty.master, "abc", 3), 3);
    ASSERT_TRUE(port->WaitForInput(5000, 3));

    EXPECT_FALSE(port->WaitForInput(0, 1));  // no poll at all, though bytes wait
    EXPECT_TRUE(port->WaitForInput(1, 0));
    EXPECT_TRUE(port->WaitForInput(1, 3));
    EXPECT_FALSE(port->WaitForInput(3, 4));
    EXPECT_EQ(port->PendingInputCount(), 3);
}

// A wait that sleeps through the bytes it still misses can reach its deadline inside that nap:
// what arrived meanwhile counts. The first byte is there at once; the 1,999 others (2 s of line
// at 9600 baud, so the nap runs to the 1 s deadline) come early in the nap.
TEST(LinuxSerialPort, BytesThatArriveDuringTheLastNapCount) {
    RawPty pty;
    ASSERT_TRUE(pty.Ok());
    auto port = MakeSerialPort();
    ASSERT_TRUE(port->OpenPort(pty.path));
    ASSERT_EQ(write(pty.master, "x", 1), 1);
    const std::vector<std::uint8_t> rest(1999, 0x55);
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(write(pty.master, rest.data(), rest.size()), 1999);
    });
    EXPECT_TRUE(port->WaitForInput(1000, 2000));
    late.join();
    EXPECT_EQ(port->PendingInputCount(), 2000);
}

// A pty holds only part of a 64 KiB flood at a time (about 20 KiB), and FIONREAD never counts
// more than its 4 KiB line buffer; each flush must still leave nothing behind.
TEST(LinuxSerialPort, FlushDiscardsAFloodWhateverItsSize) {
    RawPty pty;
    ASSERT_TRUE(pty.Ok());
    auto port = MakeSerialPort();
    ASSERT_TRUE(port->OpenPort(pty.path));
    std::vector<std::uint8_t> chunk(1024, 0x55);
    std::size_t flooded = 0;
    int rounds = 0;
    while (flooded < 65536) {
        const ssize_t n = write(pty.master, chunk.data(), chunk.size());
        if (n > 0) {
            flooded += static_cast<std::size_t>(n);
            continue;
        }
        ASSERT_TRUE(port->WaitForInput(5000, 1));
        port->FlushInput();
        ASSERT_EQ(port->PendingInputCount(), 0) << "after " << flooded << " bytes";
        ++rounds;
    }
    ASSERT_TRUE(port->WaitForInput(5000, 1));
    port->FlushInput();
    EXPECT_EQ(port->PendingInputCount(), 0);
    EXPECT_GE(rounds, 1);  // the pty really did fill up

    // The link goes on: the next byte is the next one sent, not a leftover.
    const std::uint8_t ack = 0x79;
    ASSERT_EQ(write(pty.master, &ack, 1), 1);
    ASSERT_TRUE(port->WaitForInput(5000, 1));
    std::uint8_t got = 0;
    std::uint32_t count = 0;
    EXPECT_TRUE(port->ReadExact(&got, 1, count));
    EXPECT_EQ(got, ack);
}

// After the port is closed or its device has gone, the system hands the old descriptor
// number to the next file opened; no operation may reach that file.
struct LostPort {
    const char* what;
    std::function<void(SerialPort&, RawPty&)> lose;
};
void PrintTo(const LostPort& c, std::ostream* os) {
    *os << c.what;
}

class LostPortTest : public testing::TestWithParam<LostPort> {};

TEST_P(LostPortTest, OperationsFailWithoutTouchingTheReusedNumber) {
    RawPty pty;
    ASSERT_TRUE(pty.Ok());
    auto port = MakeSerialPort();
    const int number = NextFreeDescriptor();
    ASSERT_TRUE(port->OpenPort(pty.path));
    GetParam().lose(*port, pty);

    std::vector<int> fillers;  // hold any lower numbers the device side gave back
    while (NextFreeDescriptor() < number) fillers.push_back(dup(0));
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ASSERT_EQ(pair[0], number) << "the test needs the old number reused";
    ASSERT_EQ(write(pair[1], "12345", 5), 5);

    std::array<std::uint8_t, 8> buffer{};
    std::uint32_t got = 99;
    EXPECT_EQ(port->PendingInputCount(), 0);
    EXPECT_FALSE(port->WaitForInput(3, 1));
    port->FlushInput();
    EXPECT_FALSE(port->ReadExact(buffer.data(), 5, got));
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(port->WriteAll(buffer.data(), 4));
    port->ClosePort();

    int waiting = 0;
    ASSERT_EQ(ioctl(pair[0], FIONREAD, &waiting), 0);
    EXPECT_EQ(waiting, 5);  // nothing read or flushed from it
    ASSERT_EQ(ioctl(pair[1], FIONREAD, &waiting), 0);
    EXPECT_EQ(waiting, 0);                   // nothing written into it
    EXPECT_NE(fcntl(pair[0], F_GETFD), -1);  // and it is still open
    close(pair[0]);
    close(pair[1]);
    for (int fd : fillers) close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LostPortTest,
    testing::Values(LostPort{"closed", [](SerialPort& port, RawPty&) { port.ClosePort(); }},
                    LostPort{"hung_up",
                             [](SerialPort& port, RawPty& pty) {
                                 pty.HangUp();
                                 // The first operation to meet the hang-up gives the port up.
                                 std::uint8_t byte = 0x7F;
                                 EXPECT_FALSE(port.WriteAll(&byte, 1));
                             }}),
    [](const testing::TestParamInfo<LostPort>& param) { return param.param.what; });

}  // namespace
}  // namespace ostrel
