#include "device/hotplug.h"

namespace ostrel {

bool ActOnPendingDeviceEvent(UpdaterState& state, Connector& connector) {
    bool connected = false;
    if (state.PendingDeviceEvent == kBridgeArrived && !state.PortOpen) {
        state.PendingDeviceEvent = kNoDeviceEvent;
        const std::string name = connector.Directory().FindBridgePort();
        if (!name.empty()) {
            connector.TryPort(name);
            if (state.DeviceReady) state.DeviceReady = connector.Protocol().QueryBootloader();
            connected = state.DeviceReady;
        }
    }
    if (state.PendingDeviceEvent == kBridgeRemoved && state.PortOpen) {
        connector.ClosePortAfterRemoval();
        state.PendingDeviceEvent = kNoDeviceEvent;
    }
    return connected;
}

}  // namespace ostrel
