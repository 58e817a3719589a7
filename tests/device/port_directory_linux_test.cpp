// The Linux port directory against udev records of a simulated machine (umockdev testbed).
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "device/port_directory.h"
#include "sim/bridge/bridge_testbed.h"

namespace ostrel {
namespace {

using sim::UsbSerialAdapter;
using Names = std::vector<std::string>;

// A pty for an adapter's node; nothing is served on it, the lookup never opens a port.
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

UsbSerialAdapter Ftdi(std::string busPort, std::string node) {
    UsbSerialAdapter a;
    a.busPort = std::move(busPort);
    a.node = std::move(node);
    a.vendorId = "0403";
    a.productId = "6001";
    a.manufacturer = "FTDI";
    a.product = "FT232R USB UART";
    a.vendorFromDatabase = "Future Technology Devices International, Ltd";
    a.modelFromDatabase = "FT232 Serial (UART) IC";
    a.driver = "ftdi_sio";
    return a;
}

UsbSerialAdapter Cp2102(std::string busPort, std::string node) {
    UsbSerialAdapter a = UsbSerialAdapter::Cp2102();
    a.busPort = std::move(busPort);
    a.node = std::move(node);
    return a;
}

class PortDirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(testbed.Ok()) << testbed.Error(); }
    void TearDown() override {
        for (const UsbSerialAdapter& a : plugged) testbed.Unplug(a);
    }

    void Plug(const UsbSerialAdapter& adapter) {
        ptys.push_back(std::make_unique<IdlePty>());
        ASSERT_TRUE(testbed.Plug(adapter, ptys.back()->path, ptys.back()->slave))
            << testbed.Error();
        plugged.push_back(adapter);
    }

    sim::BridgeTestbed testbed;
    std::vector<UsbSerialAdapter> plugged;
    std::vector<std::unique_ptr<IdlePty>> ptys;
    std::unique_ptr<PortDirectory> directory = MakePortDirectory();
};

TEST_F(PortDirectoryTest, FindsTheCp210xBridgeByItsDatabaseNames) {
    Plug(UsbSerialAdapter::Cp2102());
    EXPECT_EQ(directory->FindBridgePort(), "/dev/ttyUSB0");
    EXPECT_EQ(directory->ScanComPorts(), Names{"/dev/ttyUSB0"});
}

struct OtherAdapterCase {
    const char* name;
    UsbSerialAdapter adapter;
    bool found;
};

class AdapterNames : public PortDirectoryTest,
                     public ::testing::WithParamInterface<OtherAdapterCase> {};

TEST_P(AdapterNames, DecideWhetherItIsTheBridge) {
    Plug(GetParam().adapter);
    EXPECT_EQ(directory->FindBridgePort(), GetParam().found ? "/dev/ttyUSB0" : "");
    EXPECT_EQ(directory->ScanComPorts(), Names{"/dev/ttyUSB0"});  // listed all the same
}

UsbSerialAdapter Cp2105() {
    UsbSerialAdapter a;
    a.productId = "ea70";
    a.product = "CP2105 Dual USB to UART Bridge Controller";
    a.modelFromDatabase = "CP2105 Dual UART Bridge";
    return a;
}

UsbSerialAdapter WithoutDatabase(std::string product) {
    UsbSerialAdapter a;
    a.vendorFromDatabase.clear();
    a.modelFromDatabase.clear();
    a.product = std::move(product);
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, AdapterNames,
    ::testing::Values(
        OtherAdapterCase{"AnotherMaker", Ftdi("1-1", "ttyUSB0"), false},
        OtherAdapterCase{"AnotherSiliconLabsChip", Cp2105(), false},
        // Without the hardware database the USB strings stand in: the factory product string
        // names the CP2102, not "CP210x", so a plain CP2102 is left to the scan.
        OtherAdapterCase{"UsbStringsNamingTheChip", WithoutDatabase("CP210x UART Bridge"), true},
        OtherAdapterCase{"UsbStringsOfAPlainCp2102",
                         WithoutDatabase("CP2102 USB to UART Bridge Controller"), false},
        // Names are cut at 256 bytes, as a device name read into a 257-byte buffer.
        OtherAdapterCase{"ChipTextPastTheNameBound",
                         WithoutDatabase(std::string(300, 'x') + " CP210x"), false}),
    [](const ::testing::TestParamInfo<OtherAdapterCase>& p) { return std::string(p.param.name); });

TEST_F(PortDirectoryTest, ListsPortsWithHardwareInNodeOrderWithNumbersComparedAsNumbers) {
    ASSERT_TRUE(testbed.AddDevices(sim::PlatformPortsRecord({{"ttyS0", 4},
                                                             {"ttyS1", 0},  // no UART there
                                                             {"ttyS10", 4},
                                                             {"ttyS2", 4}})))
        << testbed.Error();
    // Virtual terminals have no driver behind them.
    ASSERT_TRUE(
        testbed.AddDevices("P: /devices/virtual/tty/tty0\nE: SUBSYSTEM=tty\n"
                           "E: DEVNAME=/dev/tty0\n"));
    Plug(Ftdi("1-2", "ttyUSB1"));
    Plug(Cp2102("1-3", "ttyUSB0"));
    UsbSerialAdapter modem = Ftdi("1-4", "ttyACM0");
    modem.driver = "cdc_acm";
    Plug(modem);

    EXPECT_EQ(directory->ScanComPorts(), (Names{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS2",
                                                "/dev/ttyS10", "/dev/ttyUSB0", "/dev/ttyUSB1"}));
    EXPECT_EQ(directory->FindBridgePort(), "/dev/ttyUSB0");
}

TEST_F(PortDirectoryTest, TheFirstOfTwoBridgesInNodeOrderWins) {
    Plug(Cp2102("1-1", "ttyUSB12"));
    Plug(Cp2102("1-2", "ttyUSB3"));
    EXPECT_EQ(directory->FindBridgePort(), "/dev/ttyUSB3");
}

TEST_F(PortDirectoryTest, AnUnpluggedBridgeIsNoLongerListed) {
    Plug(UsbSerialAdapter::Cp2102());
    testbed.Unplug(plugged.back());
    plugged.clear();
    EXPECT_EQ(directory->FindBridgePort(), "");
    EXPECT_TRUE(directory->ScanComPorts().empty());
}

}  // namespace
}  // namespace ostrel
