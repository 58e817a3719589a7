#pragma once
// Source of bridge arrival and removal notices. It only records the latest one; whoever asks
// (the wizard's idle hook, the bench's waits) takes it and acts on it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

enum PendingEvent : std::uint8_t { kNoDeviceEvent = 0, kBridgeArrived = 1, kBridgeRemoved = 2 };

class DeviceEventSource {
  public:
    virtual ~DeviceEventSource() = default;

    // The latest arrival or removal not yet taken; a newer notice replaces it.
    PendingEvent PendingNotice() const { return pending_; }
    // Takes the pending notice: none is pending afterwards.
    void TakeNotice() { pending_ = kNoDeviceEvent; }
    // Records a notice, as the platform's notices are recorded (or a look for an arrival's
    // port that is to be made again).
    void Record(PendingEvent event) { pending_ = event; }

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

  private:
    PendingEvent pending_ = kNoDeviceEvent;
};

// Registers for device notices, none pending; null when the registration failed (the Connect
// button still works, only the automatic connection is lost).
std::unique_ptr<DeviceEventSource> RegisterDeviceWatch();

}  // namespace ostrel
