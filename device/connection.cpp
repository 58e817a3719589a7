#include "device/connection.h"

namespace ostrel {

void Connector::TryPort(const std::string& name) {
    if (state_.PortOpen) port_.ClosePort();
    state_.PortOpen = false;
    state_.DeviceReady = false;
    state_.PortOpen = port_.OpenPort(name);
    if (state_.PortOpen) {
        state_.DeviceReady = protocol_.SyncBootloader();
        if (!state_.DeviceReady) {
            port_.ClosePort();
            state_.PortOpen = false;
        }
    }
}

void Connector::ConnectByScan() {
    state_.DeviceReady = false;
    state_.PortList = directory_.ScanComPorts();
    for (auto it = state_.PortList.rbegin(); it != state_.PortList.rend(); ++it) {
        if (betweenPorts_ && !betweenPorts_()) break;
        TryPort(*it);
        if (state_.DeviceReady) break;
    }
}

void Connector::ConnectSequence() {
    const std::string name = directory_.FindBridgePort();
    if (!name.empty()) {
        TryPort(name);
    } else {
        ConnectByScan();
    }
    if (state_.DeviceReady) state_.DeviceReady = protocol_.QueryBootloader();
}

void Connector::ClosePortAfterRemoval() {
    state_.PortOpen = false;
    state_.DeviceReady = false;
    port_.ClosePort();
}

}  // namespace ostrel
