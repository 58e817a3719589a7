#pragma once
// Why a serial port could not be opened, sorted into the causes a user can act on. Each
// platform's port fills it from its own error codes (errno, GetLastError).
#include <cstdint>
#include <string>

namespace ostrel {

enum class PortOpenError : std::uint8_t {
    None,
    NotFound,         // no such port (never was, or the adapter was pulled out)
    AccessDenied,     // the user may not open it
    InUse,            // another program (or another updater) holds it
    NotSerialPort,    // the path exists but is no serial line (a file, a directory)
    SettingsRefused,  // the driver would not take 9600 8E1
    Other,
};

// What the last OpenPort found out besides its result.
struct PortOpenReport {
    PortOpenError error = PortOpenError::None;
    std::string systemText;  // the system's own words for the failing call
    // After a successful open: the settings read back from the driver are 9600 8E1. Drivers
    // that cannot do even parity drop it silently (pseudo-terminals always do).
    bool lineSettingsKept = true;
};

}  // namespace ostrel
