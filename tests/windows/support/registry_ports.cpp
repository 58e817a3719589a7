#include "tests/windows/support/registry_ports.h"

#include <string>

namespace ostrel::test {
namespace {

constexpr wchar_t kPortsClass[] = L"{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr wchar_t kEnum[] = L"SYSTEM\\CurrentControlSet\\Enum\\";
constexpr wchar_t kAdapterDevice[] = L"USB\\VID_10C4&PID_EA60";
constexpr wchar_t kAdapterInstance[] = L"USB\\VID_10C4&PID_EA60\\0001";
// Windows names a device by its place when its serial number is already taken.
constexpr wchar_t kSecondAdapterInstance[] = L"USB\\VID_10C4&PID_EA60\\5&2C6B1A3F&0&2";
constexpr wchar_t kBluetoothDevice[] =
    L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000";
constexpr wchar_t kBluetoothInstance[] =
    L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&1F2B3C4D&0&0_0";
constexpr wchar_t kOnBoardDevice[] = L"ACPI\\PNP0501";
constexpr wchar_t kOnBoardInstance[] = L"ACPI\\PNP0501\\1";

std::wstring InterfaceKey() {
    return std::wstring(L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\") + kPortsClass +
           L"\\##?#ACPI#PNP0501#1#" + kPortsClass;
}

bool SetValue(const std::wstring& key, const wchar_t* name, DWORD type, const std::wstring& data) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    // Strings keep their terminating zero; a multi-string ends with a second one.
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    const bool set =
        RegSetValueExW(handle, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()), bytes) ==
        ERROR_SUCCESS;
    RegCloseKey(handle);
    return set;
}

bool SetNumber(const std::wstring& key, const wchar_t* name, DWORD value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool set =
        RegSetValueExW(handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return set;
}

// The device description is the friendly name without its "(COMn)".
bool EnterPort(const std::wstring& instance, const std::wstring& friendlyName, bool named,
               const std::wstring& hardwareIds, const std::wstring& portName) {
    const std::wstring key = kEnum + instance;
    return SetValue(key, L"ClassGUID", REG_SZ, kPortsClass) &&
           SetValue(key, L"Class", REG_SZ, L"Ports") &&
           (!named || SetValue(key, L"FriendlyName", REG_SZ, friendlyName)) &&
           SetValue(key, L"DeviceDesc", REG_SZ, friendlyName.substr(0, friendlyName.find(L" ("))) &&
           SetValue(key, L"HardwareID", REG_MULTI_SZ, hardwareIds) &&
           SetValue(key + L"\\Device Parameters", L"PortName", REG_SZ, portName);
}

// The adapter's socket as the USB hub driver describes it.
bool EnterLocation(const std::wstring& instance, const std::wstring& information) {
    return SetValue(kEnum + instance, L"LocationInformation", REG_SZ, information);
}

void RemoveAll() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kEnum + std::wstring(kAdapterDevice)).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kEnum + std::wstring(kOnBoardDevice)).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kEnum + std::wstring(kBluetoothDevice)).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, InterfaceKey().c_str());
}

}  // namespace

RegistryPorts::RegistryPorts(Machine machine) {
    RemoveAll();
    using namespace std::string_literals;
    const std::wstring hardwareIds = L"USB\\VID_10C4&PID_EA60&REV_0100\0USB\\VID_10C4&PID_EA60\0"s;
    entered_ = EnterPort(kAdapterInstance, L"Silicon Labs CP210x USB to UART Bridge (COM7)",
                         machine.adapterFriendlyName, hardwareIds, L"COM7") &&
               EnterLocation(kAdapterInstance, L"Port_#0010.Hub_#0001");
    if (machine.secondAdapter) {
        entered_ =
            entered_ &&
            EnterPort(kSecondAdapterInstance, L"Silicon Labs CP210x USB to UART Bridge (COM12)",
                      machine.adapterFriendlyName, hardwareIds, L"COM12") &&
            EnterLocation(kSecondAdapterInstance, L"Port_#0002.Hub_#0001");
    }
    if (machine.bluetoothPort) {
        entered_ =
            entered_ &&
            EnterPort(kBluetoothInstance, L"Standard Serial over Bluetooth link (COM9)", true,
                      L"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0000\0"s, L"COM9");
    }
    if (machine.onBoardPort) {
        const std::wstring link = InterfaceKey() + L"\\#";
        entered_ =
            entered_ &&
            EnterPort(kOnBoardInstance,
                      machine.russianNames ? L"Последовательный порт (COM1)"
                                           : L"Communications Port (COM1)",
                      true, L"ACPI\\PNP0501\0"s, L"COM1") &&
            SetValue(InterfaceKey(), L"DeviceInstance", REG_SZ, kOnBoardInstance) &&
            SetValue(link, L"SymbolicLink", REG_SZ, L"\\\\?\\ACPI#PNP0501#1#"s + kPortsClass) &&
            SetNumber(link + L"\\Control", L"Linked", 1);
    }
}

RegistryPorts::~RegistryPorts() {
    RemoveAll();
}

}  // namespace ostrel::test
