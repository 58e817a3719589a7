#pragma once
// Where the adapter's port is looked up by name, and where the scan finds existing ports.
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

// One serial port as a listing shows it.
struct PortEntry {
    std::string name;          // what OpenPort takes: "/dev/ttyUSB0", "COM3"
    std::string friendlyName;  // the system's name for the device; may be empty
    bool adapter = false;      // the programming adapter's bridge (CP210x, USB 10c4:ea60)
};

struct PortListing {
    std::vector<PortEntry> ports;  // in rising order
    // Adapters (USB 10c4:ea60) present with no serial port of their own: on Linux another
    // driver has claimed them (brltty does so on Ubuntu 22.04 and later).
    int adaptersWithoutPort = 0;
};

// An adapter present now, and the bay (USB socket) it is plugged into.
struct AdapterPort {
    std::string port;    // what OpenPort takes
    std::string bay;     // "1-1.2": the same for whichever adapter is plugged into that socket
    std::string serial;  // the adapter's USB serial number; empty when the system does not say
};

class PortDirectory {
  public:
    virtual ~PortDirectory() = default;
    // The bridge's port name by its device name ("COM3", "/dev/ttyUSB0"), or empty.
    virtual std::string FindBridgePort() = 0;
    // Every adapter present, known by its USB ids, in the order of their bays. By default the
    // one the name lookup finds, its port naming its bay.
    virtual std::vector<AdapterPort> FindBridgePorts() {
        std::string port = FindBridgePort();
        if (port.empty()) return {};
        return {{port, port, {}}};
    }
    // Every existing port, in rising order, found without exchanging data with any of them.
    virtual std::vector<std::string> ScanComPorts() = 0;
    // Whether the port `name` exists now, asked without exchanging data. A device record may
    // name its port before the driver has made it (Windows lists an adapter it has seen before
    // with its saved port name at once); where the lookup lists only existing ports, true.
    virtual bool PortExists(const std::string& name) { return !name.empty(); }
    // Every existing port with what the system says about it, exchanging no data. By default
    // the scan's ports, unnamed and unmarked.
    virtual PortListing ListPorts() {
        PortListing listing;
        for (std::string& name : ScanComPorts())
            listing.ports.push_back({std::move(name), {}, false});
        return listing;
    }
};

std::unique_ptr<PortDirectory> MakePortDirectory();

}  // namespace ostrel
