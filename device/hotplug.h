#pragma once
// What the application's idle hook does with a recorded bridge arrival or removal.
#include "device/connection.h"

namespace ostrel {

// An arrival with no port open connects by name lookup (no scan); a removal with a port open
// closes it. An event whose condition does not hold stays pending. Returns true when an
// automatic connection succeeded and the connection page should come forward.
bool ActOnPendingDeviceEvent(UpdaterState& state, Connector& connector);

}  // namespace ostrel
