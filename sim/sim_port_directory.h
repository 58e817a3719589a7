#pragma once
// A port directory with whatever ports and bridge name a test sets.
#include <string>
#include <vector>

#include "device/port_directory.h"

namespace ostrel::sim {

class SimPortDirectory : public PortDirectory {
  public:
    std::string FindBridgePort() override {
        ++lookups;
        return lookups >= showsFromLookup ? bridgePort : std::string();
    }
    std::vector<AdapterPort> FindBridgePorts() override {
        if (adapters.empty()) return PortDirectory::FindBridgePorts();
        ++lookups;
        return adapters;
    }
    std::vector<std::string> ScanComPorts() override {
        ++scans;
        return ports;
    }
    // A port the records name is made by its driver only at the given existence check.
    bool PortExists(const std::string& name) override {
        ++existenceChecks;
        return !name.empty() && existenceChecks >= existsFromCheck;
    }

    std::string bridgePort;             // what the name lookup finds ("" for nothing)
    std::vector<AdapterPort> adapters;  // several adapters; else the one bridgePort names
    std::vector<std::string> ports;     // what the scan finds, in rising order
    int showsFromLookup = 0;            // the lookup finds nothing before this many lookups
    int existsFromCheck = 0;            // the port does not exist before this many checks
    int lookups = 0;
    int scans = 0;
    int existenceChecks = 0;
};

}  // namespace ostrel::sim
