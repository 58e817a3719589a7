#include "device/connection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/firmware_image.h"
#include "sim/sim_port_directory.h"
#include "tests/device/port_bank.h"

namespace ostrel {
namespace {

using Names = std::vector<std::string>;

struct ConnectionTest : ::testing::Test {
    // The invariants every connection operation keeps.
    void ExpectConsistent() {
        EXPECT_TRUE(!state.DeviceReady || state.PortOpen) << "ready without an open port";
        EXPECT_EQ(state.PortOpen, bank.AnyOpen()) << "flag and port disagree";
    }

    UpdaterState state;
    FirmwareImage image{};  // connecting writes nothing
    test::PortBank bank;
    sim::SimPortDirectory directory;
    BootloaderProtocol protocol{bank, image, state};
    Connector connector{state, bank, directory, protocol};
};

TEST_F(ConnectionTest, PortFoundByNameThatAnswersSyncAndGetIsConnected) {
    bank.Add("COM3");
    bank.Add("COM9");
    directory.bridgePort = "COM3";
    directory.ports = {"COM3", "COM9"};
    connector.ConnectSequence();
    EXPECT_TRUE(state.PortOpen);
    EXPECT_TRUE(state.DeviceReady);
    EXPECT_EQ(bank.opened, Names{"COM3"});
    EXPECT_EQ(directory.scans, 0);
    EXPECT_EQ(state.SupportedCommandCount, 5);
    ExpectConsistent();
}

TEST_F(ConnectionTest, PortFoundByNameThatDoesNotSyncIsClosedAndNotFollowedByAScan) {
    bank.Add("COM3", /*answersSync=*/false);
    bank.Add("COM9");
    directory.bridgePort = "COM3";
    directory.ports = {"COM3", "COM9"};
    connector.ConnectSequence();
    EXPECT_FALSE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
    EXPECT_EQ(bank.opened, Names{"COM3"});
    EXPECT_EQ(directory.scans, 0);
    ExpectConsistent();
}

TEST_F(ConnectionTest, PortFoundByNameThatCannotBeOpenedLeavesBothFlagsFalse) {
    directory.bridgePort = "COM4";  // listed by name, gone by the time it is opened
    connector.ConnectSequence();
    EXPECT_FALSE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
    EXPECT_EQ(directory.scans, 0);
}

TEST_F(ConnectionTest, FailedGetLeavesThePortOpenAndTheNextAttemptClosesItFirst) {
    sim::BootloaderModel& model = bank.Add("COM3");
    model.AddFault({.kind = sim::FaultKind::Silence, .command = sim::Command::Get});
    directory.bridgePort = "COM3";
    connector.ConnectSequence();
    EXPECT_TRUE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
    ExpectConsistent();

    // The simulated port refuses a second open while open, so success proves it was closed.
    connector.ConnectSequence();
    EXPECT_TRUE(state.PortOpen);
    EXPECT_TRUE(state.DeviceReady);
    EXPECT_EQ(bank.Link("COM3").OpenCount(), 2u);
    ExpectConsistent();
}

TEST_F(ConnectionTest, ScanTriesTheListedPortsFromTheHighestDownAndStopsAtTheFirstAnswer) {
    bank.Add("COM1");
    bank.Add("COM3");
    bank.Add("COM9", /*answersSync=*/false);
    directory.ports = {"COM1", "COM3", "COM9"};
    connector.ConnectSequence();
    EXPECT_EQ(directory.lookups, 1);
    EXPECT_EQ(state.PortList, (Names{"COM1", "COM3", "COM9"}));
    EXPECT_EQ(bank.opened, (Names{"COM9", "COM3"}));
    EXPECT_TRUE(state.DeviceReady);
    EXPECT_TRUE(bank.Link("COM3").IsOpen());
    ExpectConsistent();
}

TEST_F(ConnectionTest, ScanWithoutAnswerClosesEveryPortItOpened) {
    bank.Add("COM1", false);
    bank.Add("COM3", false);
    directory.ports = {"COM1", "COM2", "COM3"};  // COM2 exists but cannot be opened
    connector.ConnectSequence();
    EXPECT_EQ(bank.opened, (Names{"COM3", "COM2", "COM1"}));
    EXPECT_FALSE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
    ExpectConsistent();
}

TEST_F(ConnectionTest, ScanWithNoPortsTriesNothing) {
    state.PortList = {"COM7"};  // from an earlier scan
    connector.ConnectSequence();
    EXPECT_TRUE(state.PortList.empty());
    EXPECT_TRUE(bank.opened.empty());
    EXPECT_FALSE(state.DeviceReady);
}

TEST_F(ConnectionTest, ScanClosesAPortLeftOpenBeforeItsFirstTrial) {
    sim::BootloaderModel& first = bank.Add("COM2");
    first.AddFault({.kind = sim::FaultKind::Silence, .command = sim::Command::Get});
    directory.ports = {"COM2"};
    connector.ConnectSequence();
    ASSERT_TRUE(state.PortOpen);
    ASSERT_FALSE(state.DeviceReady);

    bank.Add("COM5");
    directory.ports = {"COM2", "COM5"};
    connector.ConnectByScan();
    EXPECT_EQ(bank.opened, (Names{"COM2", "COM5"}));
    EXPECT_FALSE(bank.Link("COM2").IsOpen());
    EXPECT_TRUE(state.DeviceReady);
    ExpectConsistent();
}

TEST_F(ConnectionTest, TryPortDoesNotQueryTheBootloader) {
    sim::BootloaderModel& model = bank.Add("COM3");
    connector.TryPort("COM3");
    EXPECT_TRUE(state.DeviceReady);
    ASSERT_EQ(model.Exchanges().size(), 1u);
    EXPECT_EQ(model.Exchanges()[0].command, sim::Command::Sync);
}

TEST_F(ConnectionTest, ClosingAfterRemovalClearsBothFlagsAndReleasesThePort) {
    bank.Add("COM3");
    directory.bridgePort = "COM3";
    connector.ConnectSequence();
    ASSERT_TRUE(state.DeviceReady);
    connector.ClosePortAfterRemoval();
    EXPECT_FALSE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
    ExpectConsistent();
}

}  // namespace
}  // namespace ostrel
