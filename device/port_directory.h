#pragma once
// Where the adapter's port is looked up by name, and where the scan finds existing ports.
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

class PortDirectory {
  public:
    virtual ~PortDirectory() = default;
    // The bridge's port name by its device name ("COM3", "/dev/ttyUSB0"), or empty.
    virtual std::string FindBridgePort() = 0;
    // Every existing port, in rising order, found without exchanging data with any of them.
    virtual std::vector<std::string> ScanComPorts() = 0;
};

std::unique_ptr<PortDirectory> MakePortDirectory();

}  // namespace ostrel
