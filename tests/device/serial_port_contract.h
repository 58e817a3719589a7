#pragma once
// What every serial port backend promises, whatever its system. Each backend's tests include
// this once and instantiate the suite with the far end of a port of theirs: a pty's master on
// Linux, the Wine peer's pty on Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "device/serial_port.h"

namespace ostrel::test {

// The other end of a port the backend opens.
class PortPeer {
  public:
    virtual ~PortPeer() = default;
    // The name OpenPort takes; empty when the port could not be made.
    virtual std::string PortName() = 0;
    virtual bool Send(const std::vector<std::uint8_t>& bytes) = 0;
    // Exactly `count` bytes the port wrote; fewer only when they did not come.
    virtual std::vector<std::uint8_t> Receive(std::size_t count) = 0;
    // Why a second open of the port cannot be refused here, or empty when it can.
    virtual std::string SecondOpenUnrefusable() const { return {}; }
};

using MakePeer = std::unique_ptr<PortPeer> (*)();

// A write may take its bytes' time on the line (11 bits each) and 100 ms more, in whole ms.
TEST(SerialPortTimeouts, AWriteMayTakeItsTimeOnTheLineAnd100MsMore) {
    EXPECT_EQ(WriteTimeout(130, 9600).count(), 249);
    EXPECT_EQ(WriteTimeout(130, 230400).count(), 107);
    EXPECT_EQ(WriteTimeout(1, 9600).count(), 102);
    EXPECT_EQ(WriteTimeout(0, 9600).count(), 100);
}

class SerialPortContract : public ::testing::TestWithParam<MakePeer> {
  protected:
    void SetUp() override {
        peer = GetParam()();
        name = peer->PortName();
        ASSERT_FALSE(name.empty());
    }
    // In polls, with a generous budget: the bytes are on their way.
    bool Await(SerialPort& on, std::uint16_t count) { return on.WaitForInput(10000, count); }

    std::unique_ptr<PortPeer> peer;
    std::string name;
    std::unique_ptr<SerialPort> port = MakeSerialPort();
};

TEST_P(SerialPortContract, EveryByteValueCrossesBothWaysUnchanged) {
    ASSERT_TRUE(port->OpenPort(name));
    std::vector<std::uint8_t> bytes(256);
    std::iota(bytes.begin(), bytes.end(), 0);
    ASSERT_TRUE(port->WriteAll(bytes.data(), 256));
    EXPECT_EQ(peer->Receive(256), bytes);

    ASSERT_TRUE(peer->Send(bytes));
    ASSERT_TRUE(Await(*port, 256));
    EXPECT_EQ(port->PendingInputCount(), 256);
    std::vector<std::uint8_t> read(256);
    std::uint32_t got = 0;
    EXPECT_TRUE(port->ReadExact(read.data(), 256, got));
    EXPECT_EQ(got, 256u);
    EXPECT_EQ(read, bytes);
    EXPECT_TRUE(port->WriteAll(nullptr, 0));
}

// A short read ends with what came: 100 of 129 at the 150 ms gap, none of 10 at the 210 ms total.
TEST_P(SerialPortContract, AShortReadEndsAtTheTimeOutsWithWhatArrived) {
    ASSERT_TRUE(port->OpenPort(name));
    for (const auto& [sent, asked] :
         {std::pair<std::uint16_t, std::uint16_t>{100, 129}, {3, 10}, {0, 10}}) {
        std::vector<std::uint8_t> bytes(sent);
        std::iota(bytes.begin(), bytes.end(), 7);
        ASSERT_TRUE(sent == 0 || (peer->Send(bytes) && Await(*port, sent)));
        std::vector<std::uint8_t> read(asked, 0xEE);
        std::uint32_t got = 12345;
        EXPECT_FALSE(port->ReadExact(read.data(), asked, got)) << sent << " of " << asked;
        EXPECT_EQ(std::vector<std::uint8_t>(read.begin(), read.begin() + got), bytes);
        EXPECT_EQ(port->PendingInputCount(), 0) << "the bytes read are consumed";
    }
}

// One updater per port: a second open, by this program or another, is refused as in use and
// leaves the first one's link working; once the first closes, the port opens again.
TEST_P(SerialPortContract, ASecondOpenIsRefusedAsInUseUntilTheFirstCloses) {
    if (const std::string why = peer->SecondOpenUnrefusable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(port->OpenPort(name));
    auto second = MakeSerialPort();
    EXPECT_FALSE(second->OpenPort(name));
    EXPECT_EQ(second->LastOpenReport().error, PortOpenError::InUse);
    EXPECT_EQ(second->PendingInputCount(), 0);
    ASSERT_TRUE(peer->Send({0x79}));
    EXPECT_TRUE(Await(*port, 1));
    port->ClosePort();
    EXPECT_TRUE(second->OpenPort(name));
}

TEST_P(SerialPortContract, FlushDiscardsWhatWaitsAndNothingLater) {
    ASSERT_TRUE(port->OpenPort(name));
    port->FlushInput();  // nothing waiting: no read, no block
    ASSERT_TRUE(peer->Send(std::vector<std::uint8_t>(3000, 0x55)));
    ASSERT_TRUE(Await(*port, 3000));
    port->FlushInput();
    EXPECT_EQ(port->PendingInputCount(), 0);
    ASSERT_TRUE(peer->Send({0x79}));
    ASSERT_TRUE(Await(*port, 1));
    std::uint8_t byte = 0;
    std::uint32_t got = 0;
    EXPECT_TRUE(port->ReadExact(&byte, 1, got));
    EXPECT_EQ(byte, 0x79);
}

}  // namespace ostrel::test
