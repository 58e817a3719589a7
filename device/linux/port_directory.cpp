// The port directory on Linux: the tty devices that udev knows, with real hardware behind them.
#include "device/port_directory.h"

#include <libudev.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/linux/usb_ids.h"
#include "device/port_names.h"

namespace ostrel {
namespace {

// The same bound as a device name read into a 257-byte buffer with its terminating zero.
constexpr std::size_t kMaxNameBytes = 256;

struct PresentPort {
    std::string node;  // "/dev/ttyUSB0"
    std::string friendlyName;
    std::string description;
    bool bridgeIds = false;  // on a USB device with the bridge's ids, 10c4:ea60
    std::string usbDevice;   // the sysfs path of the USB device it belongs to, if any
    std::string bay;         // the USB socket of that device: "1-1.2"
    std::string usbSerial;   // that device's serial number, if it has one
};

std::string Bounded(const char* text) {
    if (text == nullptr) return {};
    const std::string_view view(text);
    return std::string(view.substr(0, kMaxNameBytes));
}

std::string Joined(const std::string& first, const std::string& second) {
    if (first.empty()) return second;
    if (second.empty()) return first;
    return first + " " + second;
}

// A property of the device or, as udev rules attach them at different levels, of the nearest
// ancestor that has it.
const char* InheritedProperty(udev_device* device, const char* key) {
    for (udev_device* d = device; d != nullptr; d = udev_device_get_parent(d)) {
        if (const char* value = udev_device_get_property_value(d, key)) return value;
    }
    return nullptr;
}

// A bound driver on the tty itself or on the device it hangs from (the usb-serial port, the
// serial8250 or PNP port). Virtual terminals, pseudo-terminals and the console have none.
bool HasDriver(udev_device* tty) {
    if (udev_device_get_driver(tty) != nullptr) return true;
    udev_device* parent = udev_device_get_parent(tty);
    return parent != nullptr && udev_device_get_driver(parent) != nullptr;
}

// Serial-core ports publish their UART type; 0 means no UART answered at that address, as for
// most of the 32 ttyS nodes that a PC kernel reserves.
bool UartExists(udev_device* tty) {
    const char* type = udev_device_get_sysattr_value(tty, "type");
    if (type == nullptr) return true;
    return std::string_view(type).find_first_not_of("0 \n") != std::string_view::npos;
}

PresentPort Describe(udev_device* tty, const char* node) {
    PresentPort port;
    port.node = node;
    std::string manufacturer;
    std::string product;
    if (udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device")) {
        manufacturer = Bounded(udev_device_get_sysattr_value(usb, "manufacturer"));
        product = Bounded(udev_device_get_sysattr_value(usb, "product"));
        port.usbDevice = Bounded(udev_device_get_syspath(usb));
        port.bay = BayFromUsbDevicePath(port.usbDevice);
        port.usbSerial = Bounded(udev_device_get_sysattr_value(usb, "serial"));
    }
    std::string names = Joined(Bounded(InheritedProperty(tty, "ID_VENDOR_FROM_DATABASE")),
                               Bounded(InheritedProperty(tty, "ID_MODEL_FROM_DATABASE")));
    if (names.empty()) names = Joined(manufacturer, product);
    const std::string_view nodeName = std::string_view(port.node).substr(port.node.rfind('/') + 1);
    if (!names.empty()) {
        port.friendlyName = names + " (" + std::string(nodeName) + ")";
        port.friendlyName.resize(std::min(port.friendlyName.size(), kMaxNameBytes));
    }
    port.description = Joined(manufacturer, product);
    port.description.resize(std::min(port.description.size(), kMaxNameBytes));
    const std::optional<std::string> interfacePath = UsbInterfacePath(tty);
    port.bridgeIds = interfacePath && IsBridgeInterface(*interfacePath);
    return port;
}

std::vector<PresentPort> ListPresentPorts() {
    std::vector<PresentPort> ports;
    udev* context = udev_new();
    if (context == nullptr) return ports;
    udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate != nullptr && udev_enumerate_add_match_subsystem(enumerate, "tty") >= 0 &&
        udev_enumerate_scan_devices(enumerate) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
            udev_device* tty =
                udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (tty == nullptr) continue;
            const char* node = udev_device_get_devnode(tty);
            if (node != nullptr && HasDriver(tty) && UartExists(tty)) {
                ports.push_back(Describe(tty, node));
            }
            udev_device_unref(tty);
        }
    }
    udev_enumerate_unref(enumerate);
    udev_unref(context);
    std::sort(ports.begin(), ports.end(), [](const PresentPort& a, const PresentPort& b) {
        return NaturalLess(a.node, b.node);
    });
    return ports;
}

// The adapter is a USB device: its port is a USB serial one (ttyUSB, or ttyACM for bridges
// on the CDC driver). Built-in ports (ttyS) may drive something else, which a probe's sync
// byte and settings would disturb.
bool IsUsbSerialNode(std::string_view node) {
    return node.starts_with("/dev/ttyUSB") || node.starts_with("/dev/ttyACM");
}

class UdevPortDirectory : public PortDirectory {
  public:
    // Linux node names carry no COM number: the port name is the device node itself. The
    // bridge is known by its USB ids, as the hot-plug events know it, whatever names the
    // hardware database (missing or old) gives it; failing that, by its name.
    std::string FindBridgePort() override {
        for (const PresentPort& port : ListPresentPorts()) {
            const std::string& name =
                port.friendlyName.empty() ? port.description : port.friendlyName;
            if (port.bridgeIds || IsBridgeDeviceName(name)) return port.node;
        }
        return {};
    }

    // By the USB ids alone, as the hot-plug events know the adapter; the name is no help here,
    // since every adapter carries the same one.
    std::vector<AdapterPort> FindBridgePorts() override {
        std::vector<AdapterPort> found;
        for (PresentPort& port : ListPresentPorts()) {
            if (port.bridgeIds) {
                found.push_back(
                    {std::move(port.node), std::move(port.bay), std::move(port.usbSerial)});
            }
        }
        std::sort(found.begin(), found.end(), [](const AdapterPort& a, const AdapterPort& b) {
            return NaturalLess(a.bay, b.bay);
        });
        return found;
    }

    // Reads udev's records only; no port is opened.
    std::vector<std::string> ScanComPorts() override {
        std::vector<std::string> nodes;
        for (PresentPort& port : ListPresentPorts()) {
            if (IsUsbSerialNode(port.node)) nodes.push_back(std::move(port.node));
        }
        return nodes;
    }

    PortListing ListPorts() override;
};

// The programming adapter's bridge by the ids its USB device carries.
bool IsAdapterUsbDevice(udev_device* usb) {
    const char* vendor = udev_device_get_sysattr_value(usb, "idVendor");
    const char* product = udev_device_get_sysattr_value(usb, "idProduct");
    return vendor != nullptr && product != nullptr && AsciiUpper(vendor) == "10C4" &&
           AsciiUpper(product) == "EA60";
}

// The sysfs paths of the adapters' USB devices that are present.
std::vector<std::string> AdapterUsbDevices() {
    std::vector<std::string> found;
    udev* context = udev_new();
    if (context == nullptr) return found;
    udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate != nullptr && udev_enumerate_add_match_subsystem(enumerate, "usb") >= 0 &&
        udev_enumerate_add_match_property(enumerate, "DEVTYPE", "usb_device") >= 0 &&
        udev_enumerate_scan_devices(enumerate) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
            udev_device* usb =
                udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (usb == nullptr) continue;
            if (IsAdapterUsbDevice(usb)) found.push_back(Bounded(udev_device_get_syspath(usb)));
            udev_device_unref(usb);
        }
    }
    udev_enumerate_unref(enumerate);
    udev_unref(context);
    return found;
}

// A tty belongs to the adapter when it hangs from one of the adapters' USB devices. An adapter
// that none hangs from is bound to another driver: the kernel's cp210x would have made one.
PortListing UdevPortDirectory::ListPorts() {
    const std::vector<std::string> adapters = AdapterUsbDevices();
    PortListing listing;
    std::vector<std::string> withPort;
    for (PresentPort& port : ListPresentPorts()) {
        const bool adapter =
            std::find(adapters.begin(), adapters.end(), port.usbDevice) != adapters.end();
        if (adapter) withPort.push_back(port.usbDevice);
        std::string name = port.friendlyName.empty() ? port.description : port.friendlyName;
        listing.ports.push_back({std::move(port.node), std::move(name), adapter});
    }
    for (const std::string& usb : adapters) {
        if (std::find(withPort.begin(), withPort.end(), usb) == withPort.end()) {
            ++listing.adaptersWithoutPort;
        }
    }
    return listing;
}

}  // namespace

std::unique_ptr<PortDirectory> MakePortDirectory() {
    return std::make_unique<UdevPortDirectory>();
}

}  // namespace ostrel
