#include "sim/bridge/usb_serial_adapter.h"

#include <algorithm>

namespace ostrel::sim {
namespace {

const std::string kHostController = "/devices/pci0000:00/0000:00:14.0/usb1";

std::string Line(char kind, const std::string& text) {
    return std::string(1, kind) + ": " + text + "\n";
}

}  // namespace

UsbSerialAdapter UsbSerialAdapter::Cp2102InSocket(int socket) {
    UsbSerialAdapter adapter;
    adapter.busPort = "1-" + std::to_string(socket);
    adapter.node = "ttyUSB" + std::to_string(socket - 1);
    return adapter;
}

std::vector<std::string> UsbSerialAdapter::SysPathsBottomUp() const {
    const std::string usb = kHostController + "/" + busPort;
    const std::string interface = usb + "/" + busPort + ":1.0";
    const std::string port = interface + "/" + node;
    return {"/sys" + port + "/tty/" + node, "/sys" + port, "/sys" + interface, "/sys" + usb};
}

std::string UsbSerialAdapter::Record() const {
    const std::vector<std::string> paths = SysPathsBottomUp();
    auto devpath = [&](int level) { return paths[level].substr(4); };  // without "/sys"
    std::string r;
    r += Line('P', devpath(3));
    r += Line('E', "SUBSYSTEM=usb");
    r += Line('E', "DEVTYPE=usb_device");
    r += Line('E', "DRIVER=usb");
    r += Line('E', "ID_VENDOR_ID=" + vendorId);
    r += Line('E', "ID_MODEL_ID=" + productId);
    if (!vendorFromDatabase.empty())
        r += Line('E', "ID_VENDOR_FROM_DATABASE=" + vendorFromDatabase);
    if (!modelFromDatabase.empty()) r += Line('E', "ID_MODEL_FROM_DATABASE=" + modelFromDatabase);
    r += Line('A', "idVendor=" + vendorId);
    r += Line('A', "idProduct=" + productId);
    if (!manufacturer.empty()) r += Line('A', "manufacturer=" + manufacturer);
    if (!product.empty()) r += Line('A', "product=" + product);
    if (!serial.empty()) r += Line('A', "serial=" + serial);
    r += Line('L', "driver=../../../../bus/usb/drivers/usb");
    r += "\n";
    r += Line('P', devpath(2));
    r += Line('E', "SUBSYSTEM=usb");
    r += Line('E', "DEVTYPE=usb_interface");
    r += Line('E', "DRIVER=" + driver);
    r += Line('A', "bInterfaceNumber=00");
    r += Line('L', "driver=../../../../../bus/usb/drivers/" + driver);
    r += "\n";
    r += Line('P', devpath(1));
    r += Line('E', "SUBSYSTEM=usb-serial");
    r += Line('E', "DRIVER=" + driver);
    r += Line('L', "driver=../../../../../../bus/usb-serial/drivers/" + driver);
    r += "\n";
    // udev's serial rules copy the USB ids and database names onto the tty.
    r += Line('P', devpath(0));
    r += Line('E', "SUBSYSTEM=tty");
    r += Line('E', "DEVNAME=" + DevicePath());
    if (idsOnTty) {
        r += Line('E', "ID_VENDOR_ID=" + vendorId);
        r += Line('E', "ID_MODEL_ID=" + productId);
    }
    if (!vendorFromDatabase.empty())
        r += Line('E', "ID_VENDOR_FROM_DATABASE=" + vendorFromDatabase);
    if (!modelFromDatabase.empty()) r += Line('E', "ID_MODEL_FROM_DATABASE=" + modelFromDatabase);
    // ttyUSB<n> is the usb-serial major's minor n.
    const std::size_t digits = std::min(node.find_first_of("0123456789"), node.size());
    r += Line('A', "dev=188:" + (digits < node.size() ? node.substr(digits) : "0"));
    return r;
}

std::string PlatformPortsRecord(const std::vector<PlatformSerialPort>& ports) {
    std::string r;
    r += Line('P', "/devices/platform/serial8250");
    r += Line('E', "SUBSYSTEM=platform");
    r += Line('E', "DRIVER=serial8250");
    r += Line('L', "driver=../../../bus/platform/drivers/serial8250");
    for (const PlatformSerialPort& port : ports) {
        r += "\n";
        r += Line('P', "/devices/platform/serial8250/tty/" + port.node);
        r += Line('E', "SUBSYSTEM=tty");
        r += Line('E', "DEVNAME=/dev/" + port.node);
        r += Line('A', "type=" + std::to_string(port.uartType));
        r += Line('A', "port=" + std::string(port.uartType != 0 ? "0x3F8" : "0x0"));
    }
    return r;
}

}  // namespace ostrel::sim
