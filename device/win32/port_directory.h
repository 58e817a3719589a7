#pragma once
// Finding the bridge's COM port through the device setup API, and the scan of COM1 to COM250.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "device/port_directory.h"

namespace ostrel::win32 {

// Walks the devices of the Ports class that the device set `flags` select (SetupDiGetClassDevs),
// in enumeration order, handing each device's name (friendly name, else device description,
// possibly empty) to `visit` until it returns false. Returns the error that ended the walk:
// ERROR_NO_MORE_ITEMS when every device was seen, ERROR_SUCCESS when `visit` stopped it.
DWORD VisitPortDevices(DWORD flags, const std::function<bool(const std::string& name)>& visit);

class Win32PortDirectory final : public PortDirectory {
  public:
    std::string FindBridgePort() override;
    std::vector<std::string> ScanComPorts() override;
    // The Ports class's devices with their names and port names, the adapter marked by its
    // hardware id, then the ports the scan finds that no device record names, unnamed.
    PortListing ListPorts() override;
};

}  // namespace ostrel::win32
