#pragma once
// The bench's waits between two trackers, for an adapter to be plugged in or pulled out, ended
// early by a stop request (see interruption.h: in a loop the first one takes no new tracker).
#include <atomic>
#include <cstdint>

#include "cli/system/interruption.h"
#include "device/device_events.h"

namespace ostrel::cli {

class BenchWait {
  public:
    // Waits for the notices of `source`; the caller takes them.
    explicit BenchWait(DeviceEventSource& source) : source_(source) {}
    BenchWait(const BenchWait&) = delete;
    BenchWait& operator=(const BenchWait&) = delete;

    // Delivers device notices until `event` is recorded; false when a stop comes first.
    bool For(PendingEvent event);
    // Delivers device notices for `milliseconds`; false when a stop comes first.
    bool Pause(std::uint32_t milliseconds);
    // Delivers device notices until one of either kind is recorded, Wake is called, or
    // `milliseconds` have passed (-1: no limit); false when a stop comes first.
    bool ForAnyNotice(int milliseconds = -1);
    // From another thread: ForAnyNotice returns, so that the caller looks at the bays again.
    void Wake();
    // A stop was requested: no new tracker is taken.
    bool StopRequested() const { return RequestedStop() != StopAsked::Nothing; }

  private:
    // Waits once for a notice, a stop request, a wake or `milliseconds` (-1: no limit), and
    // delivers what came; false when the wait itself failed.
    bool DeliverNotices(int milliseconds);

    DeviceEventSource& source_;
    StopWake wake_;
    std::atomic<bool> woken_{false};
};

}  // namespace ostrel::cli
