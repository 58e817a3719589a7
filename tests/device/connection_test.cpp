#include "device/connection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_port_directory.h"
#include "tests/device/port_bank.h"

namespace ostrel {
namespace {

using Names = std::vector<std::string>;
using sim::Command;
using sim::FaultKind;

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

TEST_F(ConnectionTest, PortFoundByNameIsTriedAloneEvenWhenItFails) {
    struct Case {
        bool exists, answersSync, connected;
    };
    for (const Case c :
         {Case{true, true, true}, Case{true, false, false}, Case{false, true, false}}) {
        state = UpdaterState{};
        test::PortBank ports;
        if (c.exists) ports.Add("COM3", c.answersSync);
        ports.Add("COM9");
        directory.bridgePort = "COM3";
        directory.ports = {"COM3", "COM9"};
        BootloaderProtocol p{ports, image, state};
        Connector{state, ports, directory, p}.ConnectSequence();
        EXPECT_EQ(state.DeviceReady, c.connected);
        EXPECT_EQ(state.PortOpen, c.connected);
        EXPECT_EQ(ports.AnyOpen(), c.connected);
        EXPECT_EQ(ports.opened, Names{"COM3"});
    }
    EXPECT_EQ(directory.scans, 0);
}

// Other products carry the same bridge: every adapter is tried in turn until one answers, and
// when none does, no scan follows.
TEST_F(ConnectionTest, EveryAdapterIsTriedUntilOneAnswers) {
    bank.Add("COM3", /*answersSync=*/false);
    bank.Add("COM4", /*answersSync=*/false);
    bank.Add("COM5");
    bank.Add("COM9");
    directory.adapters = {{"COM3", "hub1-1"}, {"COM5", "hub1-2"}, {"COM9", "hub1-3"}};
    directory.ports = {"COM3", "COM5", "COM9"};
    connector.ConnectSequence();
    EXPECT_TRUE(state.DeviceReady);
    EXPECT_TRUE(bank.Link("COM5").IsOpen());
    EXPECT_EQ(bank.opened, (Names{"COM3", "COM5"}));
    ExpectConsistent();

    connector.ClosePortAfterRemoval();
    bank.opened.clear();
    directory.adapters = {{"COM4", "hub1-1"}};
    connector.ConnectSequence();
    EXPECT_FALSE(state.DeviceReady);
    EXPECT_EQ(bank.opened, Names{"COM4"});
    EXPECT_EQ(directory.scans, 0);
    ExpectConsistent();
}

TEST_F(ConnectionTest, FailedGetLeavesThePortOpenAndTheNextAttemptClosesItFirst) {
    bank.Add("COM3").AddFault({.kind = FaultKind::Silence, .command = Command::Get});
    directory.bridgePort = "COM3";
    connector.ConnectSequence();
    EXPECT_TRUE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
    ExpectConsistent();

    // The simulated port refuses a second open while open, so success proves it was closed.
    connector.ConnectSequence();
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
    EXPECT_EQ(state.PortList, (Names{"COM1", "COM3", "COM9"}));
    EXPECT_EQ(bank.opened, (Names{"COM9", "COM3"}));
    EXPECT_TRUE(state.DeviceReady);
    EXPECT_TRUE(bank.Link("COM3").IsOpen());
    ExpectConsistent();
}

TEST_F(ConnectionTest, ScanWithoutAnswerClosesEveryPortItOpened) {
    bank.Add("COM1", false);
    bank.Add("COM3", false);
    directory.ports = {"COM1", "COM2", "COM3"};  // COM2 is listed but cannot be opened
    connector.ConnectSequence();
    EXPECT_EQ(bank.opened, (Names{"COM3", "COM2", "COM1"}));
    EXPECT_FALSE(state.DeviceReady);
    ExpectConsistent();
}

TEST_F(ConnectionTest, ScanWithNoPortsEmptiesTheListAndTriesNothing) {
    state.PortList = {"COM7"};  // from an earlier scan
    connector.ConnectSequence();
    EXPECT_TRUE(state.PortList.empty());
    EXPECT_TRUE(bank.opened.empty());
    EXPECT_FALSE(state.DeviceReady);
}

}  // namespace
}  // namespace ostrel
