// Arbitrary device names and interface paths through the name rules.
#include <string_view>

#include "device/port_names.h"
#include "fuzz/fuzz_support.h"

using ostrel::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const std::string upper = ostrel::AsciiUpper(name);
    Check(upper.size() == name.size());
    for (std::size_t i = 0; i < size; ++i) {
        const char c = name[i];
        Check(upper[i] == ((c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c));
    }
    const std::string port = ostrel::ComPortFromDeviceName(name);
    if (!port.empty()) {
        Check(ostrel::IsBridgeDeviceName(name));
        Check(port.size() > 3 && port.compare(0, 3, "COM") == 0);
        for (std::size_t i = 3; i < port.size(); ++i) Check(port[i] >= '0' && port[i] <= '9');
    }
    Check(ostrel::IsBridgeInterface(name) == ostrel::IsBridgeInterface(upper));
    return 0;
}
