// The Linux port directory and device-event source against udev records and uevents of a
// simulated machine (umockdev testbed). Nothing is served on the adapters' ports here.
#include <gtest/gtest.h>
#include <poll.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "device/device_events.h"
#include "device/port_directory.h"
#include "sim/bridge/bridge_testbed.h"

namespace ostrel {
namespace {

using sim::UsbSerialAdapter;
using Names = std::vector<std::string>;

UsbSerialAdapter Adapter(std::string busPort, std::string node) {
    UsbSerialAdapter a = UsbSerialAdapter::Cp2102();
    a.busPort = std::move(busPort);
    a.node = std::move(node);
    return a;
}

UsbSerialAdapter Ftdi(std::string busPort = "1-1", std::string node = "ttyUSB0") {
    UsbSerialAdapter a = Adapter(std::move(busPort), std::move(node));
    a.vendorId = "0403";
    a.productId = "6001";
    a.manufacturer = "FTDI";
    a.product = "FT232R USB UART";
    a.vendorFromDatabase = "Future Technology Devices International, Ltd";
    a.modelFromDatabase = "FT232 Serial (UART) IC";
    a.driver = "ftdi_sio";
    return a;
}

UsbSerialAdapter Cp2105() {  // same maker, another chip and product id
    UsbSerialAdapter a = UsbSerialAdapter::Cp2102();
    a.productId = "ea70";
    a.product = "CP2105 Dual USB to UART Bridge Controller";
    a.modelFromDatabase = "CP2105 Dual UART Bridge";
    return a;
}

UsbSerialAdapter WithoutDatabase(std::string product, std::string productId = "ea60") {
    UsbSerialAdapter a = UsbSerialAdapter::Cp2102();
    a.vendorFromDatabase.clear();
    a.modelFromDatabase.clear();
    a.product = std::move(product);
    a.productId = std::move(productId);
    return a;
}

class UdevTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(testbed.Ok()) << testbed.Error(); }
    void Plug(const UsbSerialAdapter& adapter) {
        ASSERT_TRUE(testbed.Plug(adapter)) << testbed.Error();
    }

    sim::BridgeTestbed testbed;
    std::unique_ptr<PortDirectory> directory = MakePortDirectory();
};

struct AdapterCase {
    const char* name;
    UsbSerialAdapter adapter;
    bool isBridge;
};

// Cases print as their names in test listings.
void PrintTo(const AdapterCase& c, std::ostream* os) {
    *os << (*c.name ? c.name : "(empty)");
}

class LookupByName : public UdevTest, public ::testing::WithParamInterface<AdapterCase> {};

TEST_P(LookupByName, FindsOnlyTheCp210xBridgeButListsEveryAdapter) {
    Plug(GetParam().adapter);
    EXPECT_EQ(directory->FindBridgePort(), GetParam().isBridge ? "/dev/ttyUSB0" : "");
    EXPECT_EQ(directory->ScanComPorts(), Names{"/dev/ttyUSB0"});
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, LookupByName,
    ::testing::Values(
        AdapterCase{"Cp2102", UsbSerialAdapter::Cp2102(), true},
        AdapterCase{"AnotherMaker", Ftdi(), false},
        AdapterCase{"AnotherSiliconLabsChip", Cp2105(), false},
        // Without the hardware database the ids still find the bridge, although its factory
        // product string names the CP2102, not "CP210x".
        AdapterCase{"PlainCp2102WithoutDatabase",
                    WithoutDatabase("CP2102 USB to UART Bridge Controller"), true},
        // With other ids the name rule still finds a bridge named as one, from the USB strings
        // when there is no database; names are cut at 256 bytes, as a device name read into a
        // 257-byte buffer.
        AdapterCase{"OtherIdsNamingTheChip", WithoutDatabase("CP210x UART Bridge", "ea61"), true},
        AdapterCase{"ChipTextPastTheNameBound",
                    WithoutDatabase(std::string(300, 'x') + " CP210x", "ea61"), false}),
    [](const ::testing::TestParamInfo<AdapterCase>& p) { return std::string(p.param.name); });

// Built-in ports are never probed: they may drive something else.
TEST_F(UdevTest, ListsUsbSerialPortsInNodeOrderWithNumbersComparedAsNumbers) {
    ASSERT_TRUE(testbed.AddDevices(sim::PlatformPortsRecord(
        {{"ttyS0", 4}, {"ttyS1", 0 /* no UART there */}, {"ttyS10", 4}, {"ttyS2", 4}})));
    // Virtual terminals have no driver behind them.
    ASSERT_TRUE(testbed.AddDevices(
        "P: /devices/virtual/tty/tty0\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/tty0\n"));
    Plug(Adapter("1-1", "ttyUSB12"));
    Plug(Ftdi("1-2", "ttyUSB1"));
    Plug(Adapter("1-3", "ttyUSB3"));
    UsbSerialAdapter modem = Ftdi("1-4", "ttyACM0");
    modem.driver = "cdc_acm";
    Plug(modem);

    EXPECT_EQ(directory->ScanComPorts(),
              (Names{"/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyUSB3", "/dev/ttyUSB12"}));
    EXPECT_EQ(directory->FindBridgePort(), "/dev/ttyUSB3");  // the first of two bridges

    testbed.Unplug(Adapter("1-3", "ttyUSB3"));
    EXPECT_EQ(directory->FindBridgePort(), "/dev/ttyUSB12");
}

// Identical adapters (one serial number) told apart by their sockets, in socket order; an
// adapter pulled out and plugged in again gets another node but keeps its bay.
TEST_F(UdevTest, FindsEveryAdapterByItsIdsWithTheSocketItIsPluggedInto) {
    Plug(Adapter("1-10", "ttyUSB0"));
    Plug(Adapter("1-2", "ttyUSB1"));
    Plug(Ftdi("1-3", "ttyUSB2"));
    UsbSerialAdapter plain = WithoutDatabase("CP2102 USB to UART Bridge Controller");
    plain.node = "ttyUSB3";  // in socket 1-1
    Plug(plain);
    testbed.Unplug(Adapter("1-10", "ttyUSB0"));
    Plug(Adapter("1-10", "ttyUSB7"));
    auto listed = [&] {
        std::vector<std::string> text;
        for (const AdapterPort& a : directory->FindBridgePorts())
            text.push_back(a.bay + " " + a.port);
        return text;
    };
    EXPECT_EQ(listed(), (Names{"1-1 /dev/ttyUSB3", "1-2 /dev/ttyUSB1", "1-10 /dev/ttyUSB7"}));
}

TEST_F(UdevTest, ListingMarksTheAdapterByItsIdsAndCountsOneWithoutAPort) {
    ASSERT_TRUE(testbed.AddDevices(sim::PlatformPortsRecord({{"ttyS0", 4}})));
    UsbSerialAdapter otherChip = Cp2105();  // the same maker's id, another product's
    otherChip.busPort = "1-2";
    otherChip.node = "ttyUSB1";
    Plug(otherChip);
    // Not found by its name, and with the ids on its USB device only (older udev rules).
    UsbSerialAdapter bare = WithoutDatabase("CP2102 USB to UART Bridge Controller");
    bare.idsOnTty = false;
    Plug(bare);
    PortListing listing = directory->ListPorts();
    ASSERT_EQ(listing.ports.size(), 3u);
    EXPECT_EQ(listing.ports[0].name, "/dev/ttyS0");
    EXPECT_EQ(listing.ports[1].name, "/dev/ttyUSB0");
    EXPECT_EQ(listing.ports[1].friendlyName,
              "Silicon Labs CP2102 USB to UART Bridge Controller (ttyUSB0)");
    EXPECT_EQ(listing.ports[2].friendlyName, "Silicon Labs CP2105 Dual UART Bridge (ttyUSB1)");
    EXPECT_EQ(
        (std::vector{listing.ports[0].adapter, listing.ports[1].adapter, listing.ports[2].adapter}),
        (std::vector{false, true, false}));
    EXPECT_EQ(listing.adaptersWithoutPort, 0);
    EXPECT_EQ(directory->FindBridgePort(), "/dev/ttyUSB0");  // by the ids of its USB device

    // Another CP210x whose interface a program holds through usbfs (as brltty does): no tty.
    UsbSerialAdapter claimed = Adapter("1-3", "ttyUSB2");
    claimed.driver = "usbfs";
    const std::string record = claimed.Record();
    const std::size_t interfaceEnd = record.find("\n\n", record.find("\n\n") + 2);
    ASSERT_TRUE(testbed.AddDevices(record.substr(0, interfaceEnd + 1)));
    listing = directory->ListPorts();
    EXPECT_EQ(listing.ports.size(), 3u);
    EXPECT_EQ(listing.adaptersWithoutPort, 1);
}

class EventTest : public UdevTest {
  protected:
    void SetUp() override {
        UdevTest::SetUp();
        source = RegisterDeviceWatch();
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->PendingNotice(), kNoDeviceEvent);
    }

    // What the window's event loop does: wait until the descriptor is readable, then read.
    // Every plug and unplug sends a tty event, so the wait ends.
    void Deliver() {
        pollfd p{source->NotificationDescriptor(), POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 10'000), 1) << "no notification arrived";
        source->ReadNotifications();
    }

    std::unique_ptr<DeviceEventSource> source;
};

TEST_F(EventTest, RecordsArrivalAndRemovalOfAnyAdapterWithTheBridgesIds) {
    const UsbSerialAdapter first = UsbSerialAdapter::Cp2102();
    UsbSerialAdapter second = Adapter("1-2", "ttyUSB1");
    second.vendorId = "10C4";  // ids in capitals match as well
    second.productId = "EA60";
    Plug(first);
    Deliver();
    EXPECT_EQ(source->PendingNotice(), kBridgeArrived);
    testbed.Unplug(first);
    Deliver();
    EXPECT_EQ(source->PendingNotice(), kBridgeRemoved);
    Plug(second);
    Deliver();
    EXPECT_EQ(source->PendingNotice(), kBridgeArrived);
}

TEST_F(EventTest, OnlyTheLaterOfTwoWaitingEventsCounts) {
    Plug(UsbSerialAdapter::Cp2102());
    testbed.Unplug(UsbSerialAdapter::Cp2102());
    Deliver();
    EXPECT_EQ(source->PendingNotice(), kBridgeRemoved);
}

TEST_F(EventTest, OtherIdsChangeNothing) {
    Plug(Cp2105());
    Deliver();
    EXPECT_EQ(source->PendingNotice(), kNoDeviceEvent);
    source->Record(kBridgeArrived);  // a waiting arrival is not overwritten
    testbed.Unplug(Cp2105());
    Deliver();
    EXPECT_EQ(source->PendingNotice(), kBridgeArrived);
}

TEST_F(EventTest, OnlyTtyDevicesCount) {
    // The bridge's USB device alone (no driver bound, so no tty): its events are not ours.
    const std::string record = UsbSerialAdapter::Cp2102().Record();
    ASSERT_TRUE(testbed.AddDevices(record.substr(0, record.find("\n\n") + 1)));
    // Events arrive in order: once this adapter's tty event is read, the USB one was too.
    Plug(Ftdi("1-2", "ttyUSB1"));
    Deliver();
    EXPECT_EQ(source->PendingNotice(), kNoDeviceEvent);
}

}  // namespace
}  // namespace ostrel
