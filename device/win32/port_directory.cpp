#include "device/win32/port_directory.h"

#include <setupapi.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cwchar>
#include <string_view>

#include "device/port_names.h"
#include "device/win32/wide_text.h"

namespace ostrel {
namespace win32 {
namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}, the Ports device class.
constexpr GUID kPortsClassGuid = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
// First the devices with an interface of the class, then the present devices of the setup class.
constexpr DWORD kLookups[] = {DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, DIGCF_PRESENT};
constexpr DWORD kNameBufferSize = 257;
// Location paths run to some hundred characters behind deep hub chains.
constexpr DWORD kLocationBufferSize = 1024;
constexpr int kLastScannedPort = 250;
constexpr const char* kDevicePrefix = "\\\\.\\";

// Every text below is read with the wide calls and turned into UTF-8 here, once: the narrow
// calls give it in the ANSI code page (1251 on a Russian Windows), which is not UTF-8.

std::string ReadNameProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::array<wchar_t, kNameBufferSize> buffer{};
    DWORD dataType = 0;
    DWORD requiredSize = 0;
    // The result is not consulted: a failed read leaves the cleared buffer, an empty name.
    SetupDiGetDeviceRegistryPropertyW(set, &device, property, &dataType,
                                      reinterpret_cast<BYTE*>(buffer.data()),
                                      (kNameBufferSize - 1) * sizeof(wchar_t), &requiredSize);
    // A driver may fill the buffer without a terminating zero.
    return Utf8FromWide(std::wstring_view(buffer.data(), wcsnlen(buffer.data(), buffer.size())));
}

std::string ReadDeviceName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::string name = ReadNameProperty(set, device, SPDRP_FRIENDLYNAME);
    if (name.empty()) name = ReadNameProperty(set, device, SPDRP_DEVICEDESC);
    return name;
}

// The strings of a multi-string property (the most specific first), or none when it cannot be
// read.
std::vector<std::string> ReadListProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property,
                                          DWORD capacity) {
    // Two zeros past the end, whatever the driver wrote.
    std::vector<wchar_t> buffer(capacity + 2, L'\0');
    DWORD dataType = 0;
    std::vector<std::string> list;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &dataType,
                                           reinterpret_cast<BYTE*>(buffer.data()),
                                           capacity * sizeof(wchar_t), nullptr)) {
        return list;
    }
    for (std::size_t at = 0; at < capacity && buffer[at] != L'\0';) {
        const std::size_t length = wcsnlen(buffer.data() + at, capacity - at);
        list.push_back(Utf8FromWide(std::wstring_view(buffer.data() + at, length)));
        at += length + 1;
    }
    return list;
}

// The port name the driver gave the device ("COM3"), from its device registry key.
std::string ReadPortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    std::array<wchar_t, kNameBufferSize> buffer{};
    DWORD size = (kNameBufferSize - 1) * sizeof(wchar_t);
    DWORD type = 0;
    const LONG read = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ) return {};
    return Utf8FromWide(std::wstring_view(buffer.data(), wcsnlen(buffer.data(), buffer.size())));
}

// The USB socket the device is plugged into: from the first of its location paths, else from
// its location information. Empty when neither names a USB port.
std::string ReadBay(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const std::vector<std::string> paths =
        ReadListProperty(set, device, SPDRP_LOCATION_PATHS, kLocationBufferSize);
    if (!paths.empty()) {
        std::string bay = BayFromLocationPath(paths.front());
        if (!bay.empty()) return bay;
    }
    return BayFromLocationInformation(ReadNameProperty(set, device, SPDRP_LOCATION_INFORMATION));
}

// The adapter's USB serial number, from its device instance id.
std::string ReadUsbSerial(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::array<wchar_t, kLocationBufferSize> buffer{};
    if (!SetupDiGetDeviceInstanceIdW(set, &device, buffer.data(), kLocationBufferSize - 1,
                                     nullptr)) {
        return {};
    }
    return UsbSerialFromInstanceId(
        Utf8FromWide(std::wstring_view(buffer.data(), wcsnlen(buffer.data(), buffer.size()))));
}

int ComNumber(const std::string& name) {
    int number = 0;
    for (char c : name) {
        if (c >= '0' && c <= '9') number = number * 10 + (c - '0');
    }
    return number;
}

// The adapter's port: the one its device key names, else the one in its name.
std::string PortOfAdapter(const PortDevice& device) {
    if (!device.adapter) return {};
    return !device.portName.empty() ? device.portName : ComPortFromDeviceName(device.name);
}

bool IsBluetoothHardwareId(const std::string& id) {
    constexpr std::string_view kBluetoothEnumerator = "BTHENUM\\";
    return id.size() >= kBluetoothEnumerator.size() &&
           std::equal(
               kBluetoothEnumerator.begin(), kBluetoothEnumerator.end(), id.begin(),
               [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); });
}

}  // namespace

DWORD ProbePort(const std::string& name) {
    const std::string path = kDevicePrefix + name;
    HANDLE probe = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(probe);
    return ERROR_SUCCESS;
}

DWORD VisitPortDevices(DWORD flags, const std::function<bool(const PortDevice& device)>& visit) {
    HDEVINFO set = SetupDiGetClassDevsW(&kPortsClassGuid, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD ended = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA data{};
        // The size of this build's own record (32 bytes on x86-64, 28 on 32-bit Windows): any
        // other value makes every enumeration fail at once.
        data.cbSize = sizeof(data);
        if (!SetupDiEnumDeviceInfo(set, index, &data)) {
            ended = GetLastError();
            break;
        }
        PortDevice device;
        device.name = ReadDeviceName(set, data);
        device.portName = ReadPortName(set, data);
        const std::vector<std::string> ids =
            ReadListProperty(set, data, SPDRP_HARDWAREID, kNameBufferSize);
        device.adapter =
            std::any_of(ids.begin(), ids.end(),
                        [](const std::string& id) { return IsBridgeHardwareId(id); }) ||
            IsBridgeDeviceName(device.name);
        device.bluetooth = std::any_of(ids.begin(), ids.end(), IsBluetoothHardwareId);
        if (device.adapter) {
            device.bay = ReadBay(set, data);
            device.serial = ReadUsbSerial(set, data);
        }
        if (!visit(device)) break;
    }
    SetupDiDestroyDeviceInfoList(set);
    return ended;
}

std::string Win32PortDirectory::FindBridgePort() {
    std::string port;
    const auto visit = [&port](const PortDevice& device) {
        port = PortOfAdapter(device);
        return port.empty();
    };
    // The interfaces of the Ports class are registered by serial enumerators, which a USB
    // bridge's driver need not load: a PC with an on-board port lists that port alone there.
    // Whenever they give no adapter, the present devices of the setup class are looked at.
    for (const DWORD flags : kLookups) {
        VisitPortDevices(flags, visit);
        if (!port.empty()) break;
    }
    return port;
}

std::vector<AdapterPort> Win32PortDirectory::FindBridgePorts() {
    std::vector<AdapterPort> found;
    const auto visit = [&found](const PortDevice& device) {
        std::string port = PortOfAdapter(device);
        if (port.empty() || std::any_of(found.begin(), found.end(),
                                        [&port](const AdapterPort& a) { return a.port == port; })) {
            return true;
        }
        // Without a location the port names the bay: it stays the socket's as long as Windows
        // keeps that adapter on that port.
        std::string bay = device.bay.empty() ? port : device.bay;
        found.push_back({std::move(port), std::move(bay), device.serial});
        return true;
    };
    // Both looks of the lookup, as for the single adapter; a device both list is taken once.
    for (const DWORD flags : kLookups) VisitPortDevices(flags, visit);
    std::sort(found.begin(), found.end(),
              [](const AdapterPort& a, const AdapterPort& b) { return NaturalLess(a.bay, b.bay); });
    return found;
}

// Opening a Bluetooth serial port, even only to ask whether it exists, starts a radio
// connection that takes seconds: the ports the device records name as Bluetooth are left out.
std::vector<std::string> Win32PortDirectory::ScanComPorts() {
    std::vector<std::string> bluetooth;
    for (const DWORD flags : kLookups) {
        VisitPortDevices(flags, [&bluetooth](const PortDevice& device) {
            if (device.bluetooth && !device.portName.empty()) bluetooth.push_back(device.portName);
            return true;
        });
    }
    std::vector<std::string> found;
    for (int number = 1; number <= kLastScannedPort; ++number) {
        std::string name = "COM" + std::to_string(number);
        if (std::find(bluetooth.begin(), bluetooth.end(), name) != bluetooth.end()) continue;
        if (probe_(name) == ERROR_SUCCESS) found.push_back(std::move(name));
    }
    return found;
}

// Only "no such file" means the driver has not made the port yet: a port another program holds
// refuses even this open, and exists.
bool Win32PortDirectory::PortExists(const std::string& name) {
    if (name.empty()) return false;
    const DWORD probed = probe_(name);
    return probed != ERROR_FILE_NOT_FOUND && probed != ERROR_PATH_NOT_FOUND;
}

PortListing Win32PortDirectory::ListPorts() {
    PortListing listing;
    const auto listed = [&listing](const std::string& port) {
        return std::any_of(listing.ports.begin(), listing.ports.end(),
                           [&port](const PortEntry& e) { return e.name == port; });
    };
    // Both looks of the lookup; a device both list is listed once.
    for (const DWORD flags : kLookups) {
        VisitPortDevices(flags, [&](const PortDevice& device) {
            std::string port = device.portName;
            if (port.empty()) port = ComPortFromDeviceName(device.name);
            if (!port.empty() && !listed(port)) {
                listing.ports.push_back({std::move(port), device.name, device.adapter});
            }
            return true;
        });
    }
    for (std::string& port : ScanComPorts()) {
        if (!listed(port)) listing.ports.push_back({std::move(port), {}, false});
    }
    std::stable_sort(listing.ports.begin(), listing.ports.end(),
                     [](const PortEntry& a, const PortEntry& b) {
                         return ComNumber(a.name) < ComNumber(b.name);
                     });
    return listing;
}

}  // namespace win32

std::unique_ptr<PortDirectory> MakePortDirectory() {
    return std::make_unique<win32::Win32PortDirectory>();
}

}  // namespace ostrel
