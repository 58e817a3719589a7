#pragma once
// Connecting to the bootloader: by the port found under the bridge's name, else by trying every
// existing port from the highest down. The outcome is left in PortOpen and DeviceReady.
#include <functional>
#include <string>
#include <utility>

#include "core/bootloader_protocol.h"
#include "core/updater_state.h"
#include "device/port_directory.h"
#include "device/serial_port.h"

namespace ostrel {

class Connector {
  public:
    Connector(UpdaterState& state, SerialPort& port, PortDirectory& directory,
              BootloaderProtocol& protocol)
        : state_(state), port_(port), directory_(directory), protocol_(protocol) {}

    // Closes a port still open, opens `name` and syncs. Afterwards PortOpen and DeviceReady are
    // both true (port left open) or both false (port closed).
    void TryPort(const std::string& name);
    // Rebuilds PortList and tries its entries from the last down until one answers the sync.
    void ConnectByScan();
    // The Connect button's sequence without its indicators: every adapter the lookup finds, else
    // scan (adapters that do not answer are not followed by a scan), then Get. A failed Get leaves
    // the port open with DeviceReady false.
    void ConnectSequence();
    // Closes the port the way a removal of the bridge does: both flags false, handle released.
    void ClosePortAfterRemoval();
    // Called before each port the scan tries, which may take its time-outs or, for a slow
    // driver, seconds: a window lets its messages through there. False ends the scan.
    void SetBetweenPorts(std::function<bool()> keepGoing) { betweenPorts_ = std::move(keepGoing); }

    SerialPort& Port() { return port_; }
    PortDirectory& Directory() { return directory_; }
    BootloaderProtocol& Protocol() { return protocol_; }

  private:
    UpdaterState& state_;
    SerialPort& port_;
    PortDirectory& directory_;
    BootloaderProtocol& protocol_;
    std::function<bool()> betweenPorts_;
};

}  // namespace ostrel
