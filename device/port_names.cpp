#include "device/port_names.h"

#include <algorithm>

namespace ostrel {
namespace {
constexpr std::string_view kMakerText = "SILICON LABS";
constexpr std::string_view kChipText = "CP210X";
constexpr std::string_view kPortText = "COM";
constexpr std::string_view kBridgeIdText = "VID_10C4&PID_EA60";
constexpr std::string_view kBridgeHardwareId = "USB\\VID_10C4&PID_EA60";
}  // namespace

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

bool IsBridgeDeviceName(std::string_view name) {
    const std::string upper = AsciiUpper(name);
    return upper.find(kMakerText) != std::string::npos &&
           upper.find(kChipText) != std::string::npos;
}

std::string ComPortFromDeviceName(std::string_view name) {
    if (!IsBridgeDeviceName(name)) return {};
    const std::string upper = AsciiUpper(name);
    // Text in front of the maker text takes no part: "COMBO SILICON LABS ..." is not a port.
    const std::string_view tail = std::string_view(upper).substr(upper.find(kMakerText));
    const std::size_t com = tail.find(kPortText);
    if (com == std::string_view::npos) return {};
    std::string digits;
    for (char c : tail.substr(com)) {
        if (c >= '0' && c <= '9') digits += c;
    }
    return digits.empty() ? std::string() : std::string(kPortText) + digits;
}

bool IsBridgeHardwareId(std::string_view id) {
    return AsciiUpper(id).starts_with(kBridgeHardwareId);
}

std::string UsbSerialFromInstanceId(std::string_view id) {
    if (!IsBridgeHardwareId(id)) return {};
    const std::string_view rest = id.substr(kBridgeHardwareId.size());
    if (!rest.starts_with('\\')) return {};
    const std::string_view serial = rest.substr(1);
    if (serial.find_first_of("&\\") != std::string_view::npos) return {};
    return std::string(serial);
}

bool IsBridgeInterface(std::string_view path) {
    return AsciiUpper(path).find(kBridgeIdText) != std::string::npos;
}

namespace {

// The decimal value of a run of digits with its leading zeros dropped ("0002" gives "2").
std::string WithoutLeadingZeros(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string("0") : std::string(digits.substr(first));
}

bool AllDigits(std::string_view text, bool hex) {
    return !text.empty() && text.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") ==
                                std::string_view::npos;
}

// What stands between "NAME(" and ")" in a location path element, or nothing.
std::string_view Argument(std::string_view element, std::string_view name) {
    if (!element.starts_with(name) || element.size() < name.size() + 2 ||
        element[name.size()] != '(' || element.back() != ')') {
        return {};
    }
    return element.substr(name.size() + 1, element.size() - name.size() - 2);
}

}  // namespace

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && IsDigit(a[endA])) ++endA;
            while (endB < b.size() && IsDigit(b[endB])) ++endB;
            std::string_view numA = a.substr(i, endA - i);
            std::string_view numB = b.substr(j, endB - j);
            numA.remove_prefix(std::min(numA.find_first_not_of('0'), numA.size()));
            numB.remove_prefix(std::min(numB.find_first_not_of('0'), numB.size()));
            if (numA.size() != numB.size()) return numA.size() < numB.size();
            if (numA != numB) return numA < numB;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j]) {
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        }
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
    return a < b;  // equal by value ("ttyS01" and "ttyS1"): any fixed order
}

std::string BayFromUsbDevicePath(std::string_view path) {
    while (path.ends_with('/')) path.remove_suffix(1);
    return std::string(path.substr(path.rfind('/') + 1));
}

std::string BayFromLocationPath(std::string_view path) {
    std::string controller;
    std::string ports;
    while (!path.empty()) {
        const std::size_t hash = path.find('#');
        const std::string_view element = path.substr(0, hash);
        path = hash == std::string_view::npos ? std::string_view() : path.substr(hash + 1);
        if (const std::string_view pci = Argument(element, "PCI"); AllDigits(pci, true)) {
            controller = AsciiUpper(pci);  // the controller is the last PCI device
        } else if (const std::string_view port = Argument(element, "USB"); AllDigits(port, false)) {
            // Appended piece by piece: GCC 12 at -O3 wrongly warns -Wrestrict on a literal plus a
            // temporary string (GCC bug 105329).
            if (!ports.empty()) ports += '.';
            ports += WithoutLeadingZeros(port);
        }
    }
    if (ports.empty()) return {};
    return controller.empty() ? ports : controller + "-" + ports;
}

std::string BayFromLocationInformation(std::string_view information) {
    constexpr std::string_view kPort = "Port_#";
    constexpr std::string_view kHub = ".Hub_#";
    const std::size_t hub = information.find(kHub);
    if (!information.starts_with(kPort) || hub == std::string_view::npos) return {};
    const std::string_view port = information.substr(kPort.size(), hub - kPort.size());
    const std::string_view hubNumber = information.substr(hub + kHub.size());
    if (!AllDigits(port, false) || !AllDigits(hubNumber, false)) return {};
    return "hub" + WithoutLeadingZeros(hubNumber) + "-" + WithoutLeadingZeros(port);
}

}  // namespace ostrel
