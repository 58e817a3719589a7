#pragma once
// What the application's idle hook does with a recorded bridge arrival or removal.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/connection.h"
#include "device/device_events.h"
#include "device/look_again.h"
#include "device/port_directory.h"

namespace ostrel {

enum class DeviceEventResult : std::uint8_t {
    None,          // nothing to act on, or a removal acted on
    Connected,     // an arrival connected: the connection page comes forward
    NotConnected,  // an arrival whose port was found but did not connect
    PortNotFound,  // an arrival whose port the lookup did not find (yet)
};

// Acts on the notice pending in `source`: an arrival with no port open connects to the first
// adapter that answers (no scan); a removal with a port open closes it unless the port's own
// device is still there. A notice whose condition does not hold stays pending.
DeviceEventResult ActOnPendingDeviceEvent(DeviceEventSource& source, UpdaterState& state,
                                          Connector& connector);

// The adapters found whose port exists now, in the lookup's order: none while the lookup finds
// no adapter, or names ports that their driver has not made yet.
std::vector<AdapterPort> ReadyBridgePorts(PortDirectory& directory);

// The bridge's port after an arrival: looked up at once, then again on the LookAgainSchedule,
// `pause(ms)` waiting out the time from the look before (false gives up at once). "" when it
// never shows.
std::string FindBridgePortAfterArrival(PortDirectory& directory,
                                       const std::function<bool(std::uint32_t)>& pause);

}  // namespace ostrel
