#include "device/hotplug.h"

namespace ostrel {

DeviceEventResult ActOnPendingDeviceEvent(UpdaterState& state, Connector& connector) {
    DeviceEventResult result = DeviceEventResult::None;
    if (state.PendingDeviceEvent == kBridgeArrived && !state.PortOpen) {
        state.PendingDeviceEvent = kNoDeviceEvent;
        const std::string name = FindReadyBridgePort(connector.Directory());
        if (name.empty()) {
            result = DeviceEventResult::PortNotFound;
        } else {
            connector.TryPort(name);
            if (state.DeviceReady) state.DeviceReady = connector.Protocol().QueryBootloader();
            // A port that went missing between the look and the open is not there yet either.
            if (state.DeviceReady) {
                result = DeviceEventResult::Connected;
            } else if (!state.PortOpen &&
                       connector.Port().LastOpenReport().error == PortOpenError::NotFound) {
                result = DeviceEventResult::PortNotFound;
            } else {
                result = DeviceEventResult::NotConnected;
            }
        }
    }
    if (state.PendingDeviceEvent == kBridgeRemoved && state.PortOpen) {
        connector.ClosePortAfterRemoval();
        state.PendingDeviceEvent = kNoDeviceEvent;
    }
    return result;
}

std::string FindReadyBridgePort(PortDirectory& directory) {
    std::string port = directory.FindBridgePort();
    if (!port.empty() && !directory.PortExists(port)) port.clear();
    return port;
}

std::string FindBridgePortAfterArrival(PortDirectory& directory,
                                       const std::function<bool(std::uint32_t)>& pause) {
    std::string port = FindReadyBridgePort(directory);
    std::uint32_t waited = 0;
    for (std::uint32_t at : kArrivalRetryMs) {
        if (!port.empty() || !pause(at - waited)) break;
        waited = at;
        port = FindReadyBridgePort(directory);
    }
    return port;
}

}  // namespace ostrel
