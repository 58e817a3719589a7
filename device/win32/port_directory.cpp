#include "device/win32/port_directory.h"

#include <setupapi.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "device/port_names.h"

namespace ostrel {
namespace win32 {
namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}, the Ports device class.
constexpr GUID kPortsClassGuid = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr DWORD kDeviceSetFlags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr DWORD kPresentDevicesFlags = DIGCF_PRESENT;
constexpr DWORD kNameBufferSize = 257;
constexpr int kLastScannedPort = 250;
constexpr const char* kDevicePrefix = "\\\\.\\";

std::string ReadNameProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::array<char, kNameBufferSize> buffer{};
    DWORD dataType = 0;
    DWORD requiredSize = 0;
    // The result is not consulted: a failed read leaves the cleared buffer, an empty name.
    SetupDiGetDeviceRegistryPropertyA(set, &device, property, &dataType,
                                      reinterpret_cast<BYTE*>(buffer.data()), kNameBufferSize,
                                      &requiredSize);
    // A driver may fill the buffer without a terminating zero.
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

std::string ReadDeviceName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::string name = ReadNameProperty(set, device, SPDRP_FRIENDLYNAME);
    if (name.empty()) name = ReadNameProperty(set, device, SPDRP_DEVICEDESC);
    return name;
}

// The port name the driver gave the device ("COM3"), from its device registry key.
std::string ReadPortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    std::array<char, kNameBufferSize> buffer{};
    DWORD size = kNameBufferSize - 1;
    DWORD type = 0;
    const LONG read = RegQueryValueExA(key, "PortName", nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ) return {};
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

int ComNumber(const std::string& name) {
    int number = 0;
    for (char c : name) {
        if (c >= '0' && c <= '9') number = number * 10 + (c - '0');
    }
    return number;
}

}  // namespace

DWORD VisitPortDevices(DWORD flags, const std::function<bool(const std::string& name)>& visit) {
    HDEVINFO set = SetupDiGetClassDevsA(&kPortsClassGuid, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD ended = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        // The size of this build's own record (32 bytes on x86-64, 28 on 32-bit Windows): any
        // other value makes every enumeration fail at once.
        device.cbSize = sizeof(device);
        if (!SetupDiEnumDeviceInfo(set, index, &device)) {
            ended = GetLastError();
            break;
        }
        if (!visit(ReadDeviceName(set, device))) break;
    }
    SetupDiDestroyDeviceInfoList(set);
    return ended;
}

std::string Win32PortDirectory::FindBridgePort() {
    std::string port;
    int devices = 0;
    const auto visit = [&port, &devices](const std::string& name) {
        ++devices;
        port = ComPortFromDeviceName(name);
        return port.empty();
    };
    VisitPortDevices(kDeviceSetFlags, visit);
    // The device-interface flag asks for interfaces of the class, which some systems list none
    // of for the Ports class: then the present devices of the setup class are looked at once.
    if (devices == 0) VisitPortDevices(kPresentDevicesFlags, visit);
    return port;
}

std::vector<std::string> Win32PortDirectory::ScanComPorts() {
    std::vector<std::string> found;
    for (int number = 1; number <= kLastScannedPort; ++number) {
        std::string name = "COM" + std::to_string(number);
        const std::string path = kDevicePrefix + name;
        // Access 0 only asks whether the port exists; no data is exchanged with it.
        HANDLE probe = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) continue;
        CloseHandle(probe);
        found.push_back(std::move(name));
    }
    return found;
}

PortListing Win32PortDirectory::ListPorts() {
    PortListing listing;
    HDEVINFO set = SetupDiGetClassDevsA(&kPortsClassGuid, nullptr, nullptr, kDeviceSetFlags);
    if (set != INVALID_HANDLE_VALUE) {
        for (DWORD index = 0;; ++index) {
            SP_DEVINFO_DATA device{};
            device.cbSize = sizeof(device);
            if (!SetupDiEnumDeviceInfo(set, index, &device)) break;
            const std::string name = ReadDeviceName(set, device);
            std::string port = ReadPortName(set, device);
            if (port.empty()) port = ComPortFromDeviceName(name);
            if (port.empty()) continue;
            const bool adapter =
                IsBridgeInterface(ReadNameProperty(set, device, SPDRP_HARDWAREID)) ||
                !ComPortFromDeviceName(name).empty();
            listing.ports.push_back({std::move(port), name, adapter});
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    for (std::string& port : ScanComPorts()) {
        const bool named = std::any_of(listing.ports.begin(), listing.ports.end(),
                                       [&port](const PortEntry& e) { return e.name == port; });
        if (!named) listing.ports.push_back({std::move(port), {}, false});
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
