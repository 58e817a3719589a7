// Port lookup and scan under Wine, where the Ports class is empty and COM ports are what the
// test maps.
#include "device/win32/port_directory.h"

#include <gtest/gtest.h>
#include <setupapi.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "core/bootloader_protocol.h"
#include "device/connection.h"
#include "device/hotplug.h"
#include "tests/windows/support/registry_ports.h"
#include "tests/windows/support/wine_peer.h"

namespace ostrel {
namespace {

TEST(Win32PortLookup, EnumerationRunsToItsEnd) {
    // With a record size the system refuses, the first step already fails
    // (ERROR_INVALID_USER_BUFFER) and the lookup silently finds nothing.
    // Both device sets the lookup asks for: interfaces of the class, then present devices.
    for (const DWORD flags : {DWORD{DIGCF_PRESENT | DIGCF_DEVICEINTERFACE}, DWORD{DIGCF_PRESENT}}) {
        int devices = 0;
        EXPECT_EQ(win32::VisitPortDevices(flags,
                                          [&devices](const win32::PortDevice&) {
                                              ++devices;
                                              return true;
                                          }),
                  static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        EXPECT_EQ(devices, 0) << "Wine lists no Ports-class devices";
    }
    EXPECT_EQ(MakePortDirectory()->FindBridgePort(), "");
}

// The adapter as Windows enters it, alone, beside an on-board port whose serial enumerator
// registers the Ports class as an interface, and with no friendly name (only its description,
// which names no port): found, its port name read from its device key, in the lookup and marked
// in the listing.
struct AdapterMachine {
    const char* name;
    test::RegistryPorts::Machine machine;
    const char* listed;
};

void PrintTo(const AdapterMachine& machine, std::ostream* out) {
    *out << machine.name;
}

class Win32AdapterLookup : public ::testing::TestWithParam<AdapterMachine> {};

TEST_P(Win32AdapterLookup, FindsTheAdapterByItsSetupClassEntry) {
    const test::RegistryPorts registry(GetParam().machine);
    ASSERT_TRUE(registry.Entered());
    auto directory = MakePortDirectory();
    EXPECT_EQ(directory->FindBridgePort(), "COM7");
    std::vector<std::string> marked;
    for (const PortEntry& entry : directory->ListPorts().ports) {
        if (entry.adapter) marked.push_back(entry.name + " " + entry.friendlyName);
    }
    EXPECT_EQ(marked, std::vector<std::string>{GetParam().listed});
}

INSTANTIATE_TEST_SUITE_P(
    Machines, Win32AdapterLookup,
    ::testing::Values(AdapterMachine{"Alone",
                                     {false, true},
                                     "COM7 Silicon Labs CP210x USB to UART Bridge (COM7)"},
                      AdapterMachine{"BesideAnOnBoardPort",
                                     {true, true},
                                     "COM7 Silicon Labs CP210x USB to UART Bridge (COM7)"},
                      AdapterMachine{"WithoutFriendlyName",
                                     {false, false},
                                     "COM7 Silicon Labs CP210x USB to UART Bridge"}),
    [](const ::testing::TestParamInfo<AdapterMachine>& machine) { return machine.param.name; });

// A known adapter is listed with its saved port name before its driver has made the port: the
// port is not there until it exists, though the records name it, and a port another program
// holds is there.
TEST(Win32AdapterLookup, APortTheRecordsNameBeforeItExistsIsNotThereYet) {
    const test::RegistryPorts registry({.secondAdapter = true});  // COM7 and COM12
    ASSERT_TRUE(registry.Entered());
    test::WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    auto directory = MakePortDirectory();
    EXPECT_EQ(directory->FindBridgePorts().size(), 2u);
    EXPECT_TRUE(ReadyBridgePorts(*directory).empty());
    ASSERT_FALSE(peer.MapPty(7).empty());
    const std::vector<AdapterPort> ready = ReadyBridgePorts(*directory);
    EXPECT_TRUE(ready.size() == 1 && ready[0].port == "COM7");
    auto holder = MakeSerialPort();
    ASSERT_TRUE(holder->OpenPort("COM7"));
    EXPECT_TRUE(directory->PortExists("COM7"));
}

// Two adapters of one batch in one hub, beside an on-board port: each comes with the hub socket
// its location information names, socket 2 before socket 10, whichever the records list first,
// and with its USB serial number, where Windows did not have to make up the id's last part.
TEST(Win32AdapterLookup, FindsEveryAdapterWithItsSocketInSocketOrder) {
    const test::RegistryPorts registry({.onBoardPort = true, .secondAdapter = true});
    ASSERT_TRUE(registry.Entered());
    std::vector<std::string> found;
    for (const AdapterPort& adapter : MakePortDirectory()->FindBridgePorts()) {
        found.push_back(adapter.port + " in " + adapter.bay + " serial " + adapter.serial);
    }
    EXPECT_EQ(found,
              (std::vector<std::string>{"COM12 in hub1-2 serial ", "COM7 in hub1-10 serial 0001"}));
}

// Wine maps the machine's own serial ports (ttyS*, ttyUSB*) from COM1 up; the test leaves
// them be and maps two more above them, out of order: COM123 sorts before COM99 as text.
TEST(Win32PortScan, ListsExistingPortsInRisingOrderAndTriesTheHighestFirst) {
    test::WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    auto directory = MakePortDirectory();
    std::vector<std::string> expected = directory->ScanComPorts();
    for (const std::string& port : expected) ASSERT_LT(std::stoi(port.substr(3)), 99) << port;
    ASSERT_FALSE(peer.MapPty(123).empty());
    ASSERT_FALSE(peer.MapSimulator(99, "--fast").empty());
    ASSERT_FALSE(peer.MapPty(110).empty());
    ASSERT_TRUE(peer.HangUp(110));  // its name stays mapped, its device is gone
    expected.insert(expected.end(), {"COM99", "COM123"});
    EXPECT_EQ(directory->ScanComPorts(), expected);
    EXPECT_EQ(peer.Pending(123), 0) << "the scan exchanges no data";
    // Wine's mapped ports have no device record: the listing has them, unnamed and unmarked.
    std::vector<std::string> listed;
    for (const PortEntry& entry : directory->ListPorts().ports) {
        if (!entry.friendlyName.empty() || entry.adapter) listed.push_back("named " + entry.name);
        listed.push_back(entry.name);
    }
    EXPECT_EQ(listed, expected);

    // COM123 is tried first and does not answer; COM99 answers, and the lower ports are spared.
    UpdaterState state;
    static FirmwareImage image;
    BuildFirmwareImage(image);
    auto port = MakeSerialPort();
    BootloaderProtocol protocol(*port, image, state);
    Connector connector(state, *port, *directory, protocol);
    connector.ConnectByScan();
    EXPECT_EQ(state.PortList, expected);
    EXPECT_TRUE(state.DeviceReady);
    EXPECT_TRUE(state.PortOpen);
    EXPECT_EQ(peer.Receive(123, 1), std::vector<std::uint8_t>{kSyncByte});
}

// Opening a Bluetooth serial port starts a radio connection, seconds each: the scan (and so
// the Connect button and --list) never opens the one the device records name, even where it
// exists; the listing still shows it by its record.
TEST(Win32PortScan, LeavesBluetoothPortsUnopenedAndListsThemByTheirRecord) {
    const test::RegistryPorts registry({.bluetoothPort = true});
    ASSERT_TRUE(registry.Entered());
    test::WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    ASSERT_FALSE(peer.MapPty(9).empty());
    std::vector<std::string> probed;
    std::chrono::milliseconds spent{0};  // what the probes would have cost on a real PC
    win32::Win32PortDirectory directory([&](const std::string& name) {
        probed.push_back(name);
        if (name == "COM9") spent += std::chrono::milliseconds(2500);
        return win32::ProbePort(name);
    });
    const std::vector<std::string> scanned = directory.ScanComPorts();
    EXPECT_EQ(std::count(scanned.begin(), scanned.end(), "COM9"), 0);
    EXPECT_EQ(probed.size(), 249u) << "every other port is asked once";
    bool listed = false;
    for (const PortEntry& entry : directory.ListPorts().ports) {
        if (entry.name == "COM9") {
            listed = entry.friendlyName == "Standard Serial over Bluetooth link (COM9)";
        }
    }
    EXPECT_TRUE(listed);
    EXPECT_EQ(spent.count(), 0);
}

}  // namespace
}  // namespace ostrel
