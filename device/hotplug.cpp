#include "device/hotplug.h"

namespace ostrel {

DeviceEventResult ActOnPendingDeviceEvent(DeviceEventSource& source, UpdaterState& state,
                                          Connector& connector) {
    DeviceEventResult result = DeviceEventResult::None;
    if (source.PendingNotice() == kBridgeArrived && !state.PortOpen) {
        source.TakeNotice();
        const std::vector<std::string> ports = ReadyBridgePorts(connector.Directory());
        // A port that went missing between the look and the open is not there yet either.
        bool unmade = ports.empty();
        for (const std::string& name : ports) {
            connector.TryPort(name);
            if (state.DeviceReady) break;
            unmade = unmade || connector.Port().LastOpenReport().error == PortOpenError::NotFound;
        }
        if (state.DeviceReady) state.DeviceReady = connector.Protocol().QueryBootloader();
        if (state.DeviceReady) {
            result = DeviceEventResult::Connected;
        } else if (!state.PortOpen && unmade) {
            result = DeviceEventResult::PortNotFound;
        } else {
            result = DeviceEventResult::NotConnected;
        }
    }
    if (source.PendingNotice() == kBridgeRemoved && state.PortOpen) {
        source.TakeNotice();
        // The notice names the kind of device, and another adapter of that kind may be the one
        // pulled out: a port whose own device still answers stays open.
        if (!connector.Port().DeviceStillPresent()) connector.ClosePortAfterRemoval();
    }
    return result;
}

std::vector<std::string> ReadyBridgePorts(PortDirectory& directory) {
    std::vector<std::string> ready;
    for (const AdapterPort& adapter : directory.FindBridgePorts()) {
        if (directory.PortExists(adapter.port)) ready.push_back(adapter.port);
    }
    return ready;
}

std::string FindBridgePortAfterArrival(PortDirectory& directory,
                                       const std::function<bool(std::uint32_t)>& pause) {
    std::vector<std::string> ports = ReadyBridgePorts(directory);
    std::uint32_t waited = 0;
    for (std::uint32_t at : kArrivalRetryMs) {
        if (!ports.empty() || !pause(at - waited)) break;
        waited = at;
        ports = ReadyBridgePorts(directory);
    }
    return ports.empty() ? std::string() : ports.front();
}

}  // namespace ostrel
