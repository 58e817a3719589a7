#include "device/port_names.h"

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

bool IsBridgeInterface(std::string_view path) {
    return AsciiUpper(path).find(kBridgeIdText) != std::string::npos;
}

}  // namespace ostrel
