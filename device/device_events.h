#pragma once
// Source of bridge arrival and removal notices. It only records the event in
// UpdaterState::PendingDeviceEvent; the idle hook acts on it.
#include <memory>
#include <string>
#include <vector>

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

    // A bridge's arrival or removal and the bay (USB socket) it was announced in.
    struct BayNotice {
        PendingEvent event;
        std::string bay;
    };
    // The notices recorded since the last call, in their order, for sources whose notices
    // name the device; none elsewhere (then a fresh lookup tells which bays hold adapters).
    virtual std::vector<BayNotice> TakeBayNotices() { return {}; }
};

// Registers for device notices; null when the registration failed (the Connect button still
// works, only the automatic connection is lost).
std::unique_ptr<DeviceEventSource> RegisterDeviceWatch(UpdaterState& state);

}  // namespace ostrel
