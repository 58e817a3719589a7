#include "device/hotplug.h"

namespace ostrel {

DeviceEventResult ActOnPendingDeviceEvent(DeviceEventSource& source, UpdaterState& state,
                                          Connector& connector) {
    DeviceEventResult result = DeviceEventResult::None;
    if (source.PendingNotice() == kBridgeArrived && !state.PortOpen) {
        source.TakeNotice();
        const std::string name = connector.Directory().FindBridgePort();
        if (name.empty()) {
            result = DeviceEventResult::PortNotFound;
        } else {
            connector.TryPort(name);
            if (state.DeviceReady) state.DeviceReady = connector.Protocol().QueryBootloader();
            result =
                state.DeviceReady ? DeviceEventResult::Connected : DeviceEventResult::NotConnected;
        }
    }
    if (source.PendingNotice() == kBridgeRemoved && state.PortOpen) {
        connector.ClosePortAfterRemoval();
        source.TakeNotice();
    }
    return result;
}

std::string FindBridgePortAfterArrival(PortDirectory& directory,
                                       const std::function<bool(std::uint32_t)>& pause) {
    std::string port = directory.FindBridgePort();
    std::uint32_t waited = 0;
    for (std::uint32_t at : kArrivalRetryMs) {
        if (!port.empty() || !pause(at - waited)) break;
        waited = at;
        port = directory.FindBridgePort();
    }
    return port;
}

}  // namespace ostrel
