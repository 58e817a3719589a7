#include "device/port_names.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace ostrel {
namespace {

struct NameCase {
    const char* name;
    const char* port;  // what the Windows rule takes out of it, "" for a name passed over
};

// Cases print as their names in test listings.
void PrintTo(const NameCase& c, std::ostream* os) {
    *os << (*c.name ? c.name : "(empty)");
}

class ComPortFromName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ComPortFromName, TakesThePortOutOfTheBridgesName) {
    EXPECT_EQ(ComPortFromDeviceName(GetParam().name), GetParam().port) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    DeviceNames, ComPortFromName,
    ::testing::Values(NameCase{"Silicon Labs CP210x USB to UART Bridge (COM7)", "COM7"},
                      NameCase{"Silicon Labs CP210x USB to UART Bridge (COM12)", "COM12"},
                      NameCase{"silicon labs cp210x usb to uart bridge (com4)", "COM4"},
                      NameCase{"Silicon Labs USB to UART Bridge (COM6)", ""},
                      NameCase{"Prolific CP210x look-alike (COM6)", ""},
                      NameCase{"CP210x bridge by Silicon Labs (COM8)", "COM8"},
                      NameCase{"COMBO SILICON LABS CP210X (COM5)", "COM5"},
                      NameCase{"COM9 SILICON LABS CP210X bridge", ""},
                      NameCase{"SILICON LABS CP210X (COM3) 2", "COM32"},
                      NameCase{"Silicon Labs CP210x USB to UART Bridge (COM)", ""},
                      NameCase{"Silicon Labs CP210x USB to UART Bridge (ttyUSB0)", ""},
                      NameCase{"Silicon Labs CP210x Communications Port 1", "COM1"},
                      NameCase{"", ""}));

TEST(AsciiUpper, ChangesOnlyTheLettersAToZ) {
    // Windows-1251 Cyrillic (0xE0 is a small "а", 0xC0 its capital) stays as it is.
    EXPECT_EQ(AsciiUpper("az AZ 09 \xE0\xC0\xFF{}`@"), "AZ AZ 09 \xE0\xC0\xFF{}`@");
    EXPECT_EQ(AsciiUpper(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(IsBridgeDeviceName, NeedsTheMakerAndTheChipInAnyOrderAndCase) {
    EXPECT_TRUE(IsBridgeDeviceName("Silicon Labs CP210x UART Bridge (ttyUSB0)"));
    EXPECT_TRUE(IsBridgeDeviceName("cp210x by silicon labs"));
    EXPECT_FALSE(IsBridgeDeviceName("Silicon Labs CP2110 HID USB-to-UART Bridge"));
    EXPECT_FALSE(IsBridgeDeviceName("FTDI FT232R USB UART (ttyUSB1)"));
    EXPECT_FALSE(IsBridgeDeviceName("SILICON  LABS CP210X"));
}

TEST(IsBridgeInterface, LooksForTheBridgesIdsAnywhereInAnyCase) {
    EXPECT_TRUE(IsBridgeInterface(
        "\\\\?\\USB#VID_10C4&PID_EA60#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    EXPECT_TRUE(IsBridgeInterface("\\\\?\\usb#vid_10c4&pid_ea60#0001#{86e0d1e0-8089-11d0}"));
    EXPECT_TRUE(IsBridgeInterface("USB\\VID_10c4&PID_ea60"));
    EXPECT_FALSE(IsBridgeInterface("\\\\?\\USB#VID_10C4&PID_EA70#0001"));
    EXPECT_FALSE(IsBridgeInterface("\\\\?\\USB#VID_0403&PID_6001#A1"));
    EXPECT_FALSE(IsBridgeInterface("\\\\?\\USB#VID_10C4#PID_EA60"));
    EXPECT_FALSE(IsBridgeInterface(""));
}

TEST(IsBridgeHardwareId, BeginsWithTheBridgesUsbIdsInAnyCase) {
    EXPECT_TRUE(IsBridgeHardwareId("USB\\VID_10C4&PID_EA60&REV_0100"));
    EXPECT_TRUE(IsBridgeHardwareId("usb\\vid_10c4&pid_ea60"));
    EXPECT_FALSE(IsBridgeHardwareId("USB\\VID_10C4&PID_EA6"));
    EXPECT_FALSE(IsBridgeHardwareId("FTDIBUS\\COMPORT&VID_10C4&PID_EA60"));
    EXPECT_FALSE(IsBridgeHardwareId("ACPI\\PNP0501"));
}

TEST(UsbSerialFromInstanceId, IsTheLastPartOfTheBridgesIdUnlessWindowsMadeItUp) {
    EXPECT_EQ(UsbSerialFromInstanceId("USB\\VID_10C4&PID_EA60\\0001"), "0001");
    EXPECT_EQ(UsbSerialFromInstanceId("usb\\vid_10c4&pid_ea60\\a1B2c3"), "a1B2c3");
    EXPECT_EQ(UsbSerialFromInstanceId("USB\\VID_10C4&PID_EA60\\5&2C6B1A3F&0&2"), "");
    EXPECT_EQ(UsbSerialFromInstanceId("USB\\VID_10C4&PID_EA60\\"), "");
    EXPECT_EQ(UsbSerialFromInstanceId("USB\\VID_10C4&PID_EA60&MI_00\\6&1A&0&0000"), "");
    EXPECT_EQ(UsbSerialFromInstanceId("USB\\VID_0403&PID_6001\\A1"), "");
    EXPECT_EQ(UsbSerialFromInstanceId("ACPI\\PNP0501\\1"), "");
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

enum class BaySource { UsbDevicePath, LocationPath, LocationInformation };
struct BayCase {
    BaySource source;
    const char* location;
    const char* bay;  // "" for a location that names no USB socket
};
void PrintTo(const BayCase& c, std::ostream* os) {
    *os << (*c.location ? c.location : "(empty)");
}

class BayName : public ::testing::TestWithParam<BayCase> {};

TEST_P(BayName, IsTheSocketShortAndTheSameForEveryAdapterInIt) {
    const BayCase& c = GetParam();
    const std::string bay = c.source == BaySource::UsbDevicePath ? BayFromUsbDevicePath(c.location)
                            : c.source == BaySource::LocationPath
                                ? BayFromLocationPath(c.location)
                                : BayFromLocationInformation(c.location);
    EXPECT_EQ(bay, c.bay);
}

INSTANTIATE_TEST_SUITE_P(
    Locations, BayName,
    ::testing::Values(BayCase{BaySource::UsbDevicePath,
                              "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1.2", "1-1.2"},
                      BayCase{BaySource::UsbDevicePath,
                              "/devices/pci0000:00/0000:00:14.0/usb3/3-10/", "3-10"},
                      BayCase{BaySource::LocationPath,
                              "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)", "1400-1.2"},
                      BayCase{BaySource::LocationPath,
                              "PCIROOT(0)#PCI(1C00)#PCI(0000)#USBROOT(0)#USB(03)", "0000-3"},
                      BayCase{BaySource::LocationPath, "ACPI(_SB_)#ACPI(PCI0)#ACPI(S14_)", ""},
                      BayCase{BaySource::LocationInformation, "Port_#0002.Hub_#0001", "hub1-2"},
                      BayCase{BaySource::LocationInformation, "Port_#0012.Hub_#0004", "hub4-12"},
                      BayCase{BaySource::LocationInformation, "USB Serial Converter", ""}));

}  // namespace
}  // namespace ostrel
