#pragma once
// The state the main window owns for the life of the program. The port itself (handle or
// descriptor, line settings, time-outs) belongs to the serial port object beside it.
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

// Where the update stands; a failed run goes back to Idle.
enum class Phase : std::uint8_t {
    Idle = 0,
    Requested = 1,
    WritingProgram = 2,
    Verifying = 3,
    WritingData = 4,
    Succeeded = 5,
};

struct UpdaterState {
    bool PortOpen = false;     // the port is open and configured
    bool DeviceReady = false;  // the bootloader answered the sync (and, once connected, Get)
    std::uint8_t SupportedCommandCount = 0;  // N of the last Get reply
    std::uint16_t BootloaderVersion = 0;
    Phase UpdatePhase = Phase::Idle;
    std::vector<std::string> PortList;  // port names found by the last scan
};

}  // namespace ostrel
