#pragma once
// Finding the bridge's COM port through the device setup API, and the scan of COM1 to COM250.
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "device/port_directory.h"

namespace ostrel::win32 {

// What the device setup records say about one serial port device.
struct PortDevice {
    std::string name;        // friendly name, else device description; may be empty
    std::string portName;    // "COM7", from the device's registry key; may be empty
    bool adapter = false;    // a hardware id "USB\VID_10C4&PID_EA60...", or the bridge's name
    std::string bay;         // an adapter's USB socket ("1400-1.2", "hub1-2"); may be empty
    std::string serial;      // an adapter's USB serial number; may be empty
    bool bluetooth = false;  // a serial port over a Bluetooth link (hardware id "BTHENUM\...")
};

// Opens the port with access 0, which only asks whether it exists (no data is exchanged), and
// closes it again: ERROR_SUCCESS, or the open's error.
DWORD ProbePort(const std::string& name);
using PortProbe = std::function<DWORD(const std::string& name)>;

// Walks the devices of the Ports class that the device set `flags` select (SetupDiGetClassDevs),
// in enumeration order, handing each to `visit` until it returns false. Returns the error that
// ended the walk: ERROR_NO_MORE_ITEMS when every device was seen, ERROR_SUCCESS when `visit`
// stopped it.
DWORD VisitPortDevices(DWORD flags, const std::function<bool(const PortDevice& device)>& visit);

class Win32PortDirectory final : public PortDirectory {
  public:
    // `probe` asks whether a port exists; a test puts its own in front of the system's.
    explicit Win32PortDirectory(PortProbe probe = ProbePort) : probe_(std::move(probe)) {}
    std::string FindBridgePort() override;
    // Every adapter of both looks of the lookup, with the socket its location names (else its
    // port), in the order of the sockets.
    std::vector<AdapterPort> FindBridgePorts() override;
    std::vector<std::string> ScanComPorts() override;
    bool PortExists(const std::string& name) override;
    // The Ports class's devices with their names and port names, the adapter marked as the
    // lookup knows it, then the ports the scan finds that no device record names, unnamed.
    PortListing ListPorts() override;

  private:
    PortProbe probe_;
};

}  // namespace ostrel::win32
