#include "device/hotplug.h"

namespace ostrel {

DeviceEventResult ActOnPendingDeviceEvent(DeviceEventSource& source, UpdaterState& state,
                                          Connector& connector) {
    DeviceEventResult result = DeviceEventResult::None;
    if (source.PendingNotice() == kBridgeArrived && !state.PortOpen) {
        source.TakeNotice();
        const std::vector<AdapterPort> ports = ReadyBridgePorts(connector.Directory());
        // A port that went missing between the look and the open is not there yet either.
        bool unmade = ports.empty();
        for (const AdapterPort& adapter : ports) {
            connector.TryPort(adapter.port);
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

std::vector<AdapterPort> ReadyBridgePorts(PortDirectory& directory) {
    std::vector<AdapterPort> ready = directory.FindBridgePorts();
    std::erase_if(ready, [&](const AdapterPort& a) { return !directory.PortExists(a.port); });
    return ready;
}

std::string FindBridgePortAfterArrival(PortDirectory& directory,
                                       const std::function<bool(std::uint32_t)>& pause) {
    std::vector<AdapterPort> ports = ReadyBridgePorts(directory);
    LookAgainSchedule schedule;
    while (ports.empty()) {
        const std::optional<std::uint32_t> wait = schedule.NextPause();
        if (!wait || !pause(*wait)) break;
        ports = ReadyBridgePorts(directory);
    }
    return ports.empty() ? std::string() : ports.front().port;
}

}  // namespace ostrel
