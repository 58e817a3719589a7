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
    // Other products carry the same bridge (radio sticks, development boards): every adapter
    // found by its ids is tried until one answers.
    const std::vector<AdapterPort> adapters = directory_.FindBridgePorts();
    for (const AdapterPort& adapter : adapters) {
        TryPort(adapter.port);
        if (state_.DeviceReady) break;
    }
    if (adapters.empty()) ConnectByScan();
    if (state_.DeviceReady) state_.DeviceReady = protocol_.QueryBootloader();
}

void Connector::ClosePortAfterRemoval() {
    state_.PortOpen = false;
    state_.DeviceReady = false;
    port_.ClosePort();
}

}  // namespace ostrel
