#pragma once
// How a USB-to-UART adapter looks to udev: the USB device, its interface, the usb-serial port
// and the tty, in umockdev's text format.
#include <string>
#include <vector>

namespace ostrel::sim {

struct UsbSerialAdapter {
    std::string busPort = "1-1";  // position on the USB bus; one per adapter present
    std::string node = "ttyUSB0";
    std::string vendorId = "10c4";
    std::string productId = "ea60";
    std::string manufacturer = "Silicon Labs";
    std::string product = "CP2102 USB to UART Bridge Controller";
    // Names from the hardware database; empty leaves the property out.
    std::string vendorFromDatabase = "Silicon Labs";
    std::string modelFromDatabase = "CP210x UART Bridge";
    std::string driver = "cp210x";
    std::string serial = "0001";  // CP2102s from one batch often share it
    bool idsOnTty = true;  // false: the USB ids only on the USB device, as older udev rules have

    // The programming adapter's bridge as it comes from the factory.
    static UsbSerialAdapter Cp2102() { return {}; }
    // The same adapter in socket `socket` (from 1) of the bus: USB path 1-<socket>, node
    // ttyUSB<socket - 1>, as the kernel numbers identical adapters plugged in one by one.
    static UsbSerialAdapter Cp2102InSocket(int socket);

    std::string DevicePath() const { return "/dev/" + node; }
    // The device record, parents before children.
    std::string Record() const;
    // Sysfs paths from the tty up to the USB device: the order of removal.
    std::vector<std::string> SysPathsBottomUp() const;
};

// A serial-core port on the platform bus, as the kernel lists ttyS0 to ttyS31. `uartType` 0
// is a reserved node with no UART behind it.
struct PlatformSerialPort {
    std::string node = "ttyS0";
    int uartType = 4;  // PORT_16550A
};

// The serial8250 platform device with the given ports under it.
std::string PlatformPortsRecord(const std::vector<PlatformSerialPort>& ports);

}  // namespace ostrel::sim
