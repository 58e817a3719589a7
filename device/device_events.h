#pragma once
// Source of bridge arrival and removal notices. It only records the event in
// UpdaterState::PendingDeviceEvent; the idle hook acts on it.
#include <memory>

#include "core/updater_state.h"

namespace ostrel {

class DeviceEventSource {
  public:
    virtual ~DeviceEventSource() = default;
    // A descriptor the event loop watches for readability (Linux), or -1 where notices arrive
    // as window messages on the GUI thread by themselves (Windows).
    virtual int NotificationDescriptor() const = 0;
    // Reads whatever notices wait on the descriptor and records a bridge's arrival or removal.
    virtual void ReadNotifications() = 0;
};

// Registers for device notices; null when the registration failed (the Connect button still
// works, only the automatic connection is lost).
std::unique_ptr<DeviceEventSource> RegisterDeviceWatch(UpdaterState& state);

}  // namespace ostrel
