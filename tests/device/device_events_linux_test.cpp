// The Linux device-event source against uevents of a simulated machine (umockdev testbed).
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "device/device_events.h"
#include "sim/bridge/bridge_testbed.h"

namespace ostrel {
namespace {

using sim::UsbSerialAdapter;

struct IdlePty {
    IdlePty() { openpty(&master, &slave, path, nullptr, nullptr); }
    ~IdlePty() {
        close(master);
        close(slave);
    }
    int master = -1;
    int slave = -1;
    char path[64] = {};
};

class DeviceEventsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testbed.Ok()) << testbed.Error();
        state.PendingDeviceEvent = 7;  // registration starts from nothing pending
        source = RegisterDeviceWatch(state);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(state.PendingDeviceEvent, kNoDeviceEvent);
        ASSERT_GE(source->NotificationDescriptor(), 0);
    }
    void TearDown() override {
        for (const UsbSerialAdapter& a : plugged) testbed.Unplug(a);
    }

    void Plug(const UsbSerialAdapter& adapter) {
        ptys.push_back(std::make_unique<IdlePty>());
        ASSERT_TRUE(testbed.Plug(adapter, ptys.back()->path, ptys.back()->slave))
            << testbed.Error();
        plugged.push_back(adapter);
    }
    void Unplug(const UsbSerialAdapter& adapter) {
        testbed.Unplug(adapter);
        std::erase_if(plugged, [&](const auto& a) { return a.node == adapter.node; });
    }

    // What the window's event loop does: wait until the descriptor is readable, then read.
    // Each plug or unplug sends tty events, so the wait ends.
    void DeliverNotifications() {
        pollfd p{source->NotificationDescriptor(), POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 10'000), 1) << "no notification arrived";
        source->ReadNotifications();
    }

    sim::BridgeTestbed testbed;
    UpdaterState state;
    std::unique_ptr<DeviceEventSource> source;
    std::vector<UsbSerialAdapter> plugged;
    std::vector<std::unique_ptr<IdlePty>> ptys;
};

UsbSerialAdapter OtherIds() {
    UsbSerialAdapter a;
    a.vendorId = "10c4";
    a.productId = "ea70";  // a CP2105: same maker, another product
    return a;
}

TEST_F(DeviceEventsTest, RecordsTheBridgesArrivalAndRemoval) {
    const UsbSerialAdapter bridge = UsbSerialAdapter::Cp2102();
    Plug(bridge);
    DeliverNotifications();
    EXPECT_EQ(state.PendingDeviceEvent, kBridgeArrived);

    Unplug(bridge);
    DeliverNotifications();
    EXPECT_EQ(state.PendingDeviceEvent, kBridgeRemoved);
}

TEST_F(DeviceEventsTest, TheLaterOfTwoEventsWaitingCounts) {
    const UsbSerialAdapter bridge = UsbSerialAdapter::Cp2102();
    Plug(bridge);
    Unplug(bridge);
    DeliverNotifications();
    EXPECT_EQ(state.PendingDeviceEvent, kBridgeRemoved);
}

TEST_F(DeviceEventsTest, AnotherAdapterChangesNothing) {
    Plug(OtherIds());
    DeliverNotifications();
    EXPECT_EQ(state.PendingDeviceEvent, kNoDeviceEvent);

    state.PendingDeviceEvent = kBridgeArrived;  // an arrival still waiting is not overwritten
    Unplug(OtherIds());
    DeliverNotifications();
    EXPECT_EQ(state.PendingDeviceEvent, kBridgeArrived);
}

TEST_F(DeviceEventsTest, ASecondBridgeCountsLikeTheFirst) {
    Plug(UsbSerialAdapter::Cp2102());
    UsbSerialAdapter second = UsbSerialAdapter::Cp2102();
    second.busPort = "1-2";
    second.node = "ttyUSB1";
    second.vendorId = "10C4";  // ids in capitals match as well
    second.productId = "EA60";
    DeliverNotifications();
    state.PendingDeviceEvent = kNoDeviceEvent;

    Plug(second);
    DeliverNotifications();
    EXPECT_EQ(state.PendingDeviceEvent, kBridgeArrived);
    Unplug(second);
    DeliverNotifications();
    EXPECT_EQ(state.PendingDeviceEvent, kBridgeRemoved);
}

TEST_F(DeviceEventsTest, OnlyTtyDevicesCount) {
    // The bridge's USB device without a bound driver has no tty: its events are not ours.
    UsbSerialAdapter bridge = UsbSerialAdapter::Cp2102();
    const std::string record = bridge.Record();
    ASSERT_TRUE(testbed.AddDevices(record.substr(0, record.find("\n\n") + 1)));
    // Events arrive in order: once this adapter's tty event is read, the USB one was too.
    UsbSerialAdapter other = OtherIds();
    other.busPort = "1-2";
    Plug(other);
    DeliverNotifications();
    EXPECT_EQ(state.PendingDeviceEvent, kNoDeviceEvent);
}

TEST_F(DeviceEventsTest, ReadingWithNothingWaitingReturnsAtOnce) {
    source->ReadNotifications();
    EXPECT_EQ(state.PendingDeviceEvent, kNoDeviceEvent);
}

}  // namespace
}  // namespace ostrel
