// Connecting, hot-plug and pulling the adapter out, through the real Linux port, udev lookup and
// event source, against the simulated tracker behind the simulated CP210x bridge.
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>

#include <memory>
#include <ostream>
#include <string>

#include "core/update_sequence.h"
#include "device/connection.h"
#include "device/device_events.h"
#include "device/hotplug.h"
#include "sim/bridge/simulated_bridge.h"
#include "tests/support/recording_events.h"

namespace ostrel {
namespace {

class BridgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bridge.Ok()) << bridge.Error();
        BuildFirmwareImage(*image);
    }
    void PlugIn() { ASSERT_TRUE(bridge.Plug()) << bridge.Error(); }

    // What the window's event loop does with the notification descriptor.
    void DeliverNotifications(DeviceEventSource& source) {
        pollfd p{source.NotificationDescriptor(), POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 10'000), 1) << "no notification arrived";
        source.ReadNotifications();
    }

    void ExpectPortAnswers() {
        EXPECT_TRUE(protocol.SyncBootloader() || protocol.SyncBootloader())
            << "the port is not open to the tracker";
    }

    sim::SimulatedBridge bridge{sim::Pacing::Fast};
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
    UpdaterState state;
    std::unique_ptr<SerialPort> port = MakeSerialPort();
    std::unique_ptr<PortDirectory> directory = MakePortDirectory();
    BootloaderProtocol protocol{*port, *image, state};
    Connector connector{state, *port, *directory, protocol};
};

TEST_F(BridgeTest, ConnectSequenceFindsTheBridgeAndAsksFor9600Baud8E1) {
    PlugIn();
    connector.ConnectSequence();
    EXPECT_TRUE(state.PortOpen);
    EXPECT_TRUE(state.DeviceReady);
    EXPECT_EQ(state.BootloaderVersion, 0x10);

    const std::optional<sim::LineRequest> line = bridge.RequestedLine();
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->cflag & CBAUD, static_cast<std::uint32_t>(B9600));
    EXPECT_EQ(line->cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS),
              static_cast<std::uint32_t>(CS8 | PARENB));
}

// The bridge's pty never sees the program's settings; the tracker hears the rate asked for.
TEST_F(BridgeTest, TheTrackerLocksOntoTheRateAskedOfTheBridge) {
    PlugIn();
    port->SetLineRate(115200);
    connector.ConnectSequence();
    EXPECT_TRUE(state.DeviceReady);
    const std::optional<sim::LineRequest> line = bridge.RequestedLine();
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->cflag & CBAUD, static_cast<std::uint32_t>(B115200));
    EXPECT_EQ(bridge.Line()->Stats().lockedRate, 115200u);
}

TEST_F(BridgeTest, ConnectSequenceClosesThePortWhenTheSyncIsNotAnswered) {
    PlugIn();
    bridge.WithModel([](sim::BootloaderModel& m) {
        m.AddFault({.kind = sim::FaultKind::Silence, .command = sim::Command::Sync});
    });
    connector.ConnectSequence();
    EXPECT_FALSE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
    bridge.Line()->WaitUntil([](const sim::LineStats& s) { return s.hostCloses == 1; });
}

TEST_F(BridgeTest, ConnectSequenceLeavesThePortOpenWhenGetIsNotAnswered) {
    PlugIn();
    bridge.WithModel([](sim::BootloaderModel& m) {
        m.AddFault({.kind = sim::FaultKind::Silence, .command = sim::Command::Get});
    });
    connector.ConnectSequence();
    EXPECT_TRUE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
    ExpectPortAnswers();
}

TEST_F(BridgeTest, PlugInConnectsAtIdleAndRemovalClosesThePort) {
    std::unique_ptr<DeviceEventSource> source = RegisterDeviceWatch();
    ASSERT_NE(source, nullptr);

    PlugIn();
    DeliverNotifications(*source);
    EXPECT_EQ(source->PendingNotice(), kBridgeArrived);
    EXPECT_EQ(ActOnPendingDeviceEvent(*source, state, connector), DeviceEventResult::Connected);
    EXPECT_TRUE(state.PortOpen);
    EXPECT_TRUE(state.DeviceReady);
    EXPECT_EQ(source->PendingNotice(), kNoDeviceEvent);

    bridge.Unplug();
    DeliverNotifications(*source);
    EXPECT_EQ(source->PendingNotice(), kBridgeRemoved);
    EXPECT_NE(ActOnPendingDeviceEvent(*source, state, connector), DeviceEventResult::Connected);
    EXPECT_FALSE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
    EXPECT_EQ(source->PendingNotice(), kNoDeviceEvent);

    // Plugged in again, the tracker starts afresh and the same node connects again.
    PlugIn();
    DeliverNotifications(*source);
    EXPECT_EQ(ActOnPendingDeviceEvent(*source, state, connector), DeviceEventResult::Connected);
    EXPECT_TRUE(state.DeviceReady);
}

// A plain CP2102 on a machine without a hardware database has no name with "CP210x" in it:
// the lookup knows it by its USB ids, as the hot-plug events do, so a plug-in connects.
TEST(BridgeWithoutDatabase, PlugInConnects) {
    sim::UsbSerialAdapter adapter = sim::UsbSerialAdapter::Cp2102();
    adapter.vendorFromDatabase.clear();
    adapter.modelFromDatabase.clear();
    sim::SimulatedBridge bridge{sim::Pacing::Fast, adapter};
    ASSERT_TRUE(bridge.Ok()) << bridge.Error();
    auto image = std::make_unique<FirmwareImage>();
    UpdaterState state;
    std::unique_ptr<SerialPort> port = MakeSerialPort();
    std::unique_ptr<PortDirectory> directory = MakePortDirectory();
    BootloaderProtocol protocol{*port, *image, state};
    Connector connector{state, *port, *directory, protocol};
    std::unique_ptr<DeviceEventSource> source = RegisterDeviceWatch();
    ASSERT_NE(source, nullptr);

    ASSERT_TRUE(bridge.Plug()) << bridge.Error();
    pollfd p{source->NotificationDescriptor(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10'000), 1) << "no notification arrived";
    source->ReadNotifications();
    EXPECT_EQ(ActOnPendingDeviceEvent(*source, state, connector), DeviceEventResult::Connected);
    EXPECT_TRUE(state.DeviceReady);
    // A bridge keeps even parity; the settings read back say so.
    EXPECT_TRUE(port->LastOpenReport().lineSettingsKept);
}

struct PullOutCase {
    const char* name;
    int pump;  // the block after which the adapter is pulled out
    UpdateStage failed;
};

// Cases print as their names in test listings.
void PrintTo(const PullOutCase& c, std::ostream* os) {
    *os << (*c.name ? c.name : "(empty)");
}

class PullOut : public BridgeTest, public ::testing::WithParamInterface<PullOutCase> {};

TEST_P(PullOut, EndsTheUpdateWithTheStagesFailure) {
    PlugIn();
    std::unique_ptr<DeviceEventSource> source = RegisterDeviceWatch();
    ASSERT_NE(source, nullptr);
    connector.ConnectSequence();
    ASSERT_TRUE(state.DeviceReady);

    test::RecordingEvents events;
    int blocks = 0;
    events.onProgress = [&] {
        if (++blocks == GetParam().pump) bridge.Unplug();
    };
    const UpdateOutcome outcome = RunUpdate(state, protocol, *image, false, events);
    EXPECT_EQ(state.UpdatePhase, Phase::Idle);
    EXPECT_EQ(outcome.stage, GetParam().failed);
    EXPECT_EQ(outcome.reason, UpdateFailure::Exchange);
    EXPECT_EQ(blocks, GetParam().pump);

    // The removal was only recorded; the idle action after the update closes the port.
    DeliverNotifications(*source);
    EXPECT_EQ(source->PendingNotice(), kBridgeRemoved);
    ActOnPendingDeviceEvent(*source, state, connector);
    EXPECT_FALSE(state.PortOpen);
}

INSTANTIATE_TEST_SUITE_P(Stages, PullOut,
                         ::testing::Values(PullOutCase{"Writing", 10, UpdateStage::Write},
                                           PullOutCase{"Verifying", 232 + 10, UpdateStage::Verify}),
                         [](const ::testing::TestParamInfo<PullOutCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
}  // namespace ostrel
