#pragma once
// The bench loop's waits between two trackers, for the adapter to be plugged in or pulled
// out, ended early by Ctrl-C. From construction to destruction Ctrl-C (SIGINT, SIGTERM, SIGHUP on
// Linux; Ctrl-C, Ctrl-Break, closing the console on Windows) only asks the loop to stop once the
// tracker in hand is done; a second one ends the program at once.
#include <cstdint>

#include "device/device_events.h"

namespace ostrel::cli {

class BenchWait {
  public:
    // Waits for the notices of `source`; the caller takes them.
    explicit BenchWait(DeviceEventSource& source);
    ~BenchWait();
    BenchWait(const BenchWait&) = delete;
    BenchWait& operator=(const BenchWait&) = delete;

    // Delivers device notices until `event` is recorded; false when Ctrl-C comes first.
    bool For(PendingEvent event);
    // Delivers device notices for `milliseconds`; false when Ctrl-C comes first.
    bool Pause(std::uint32_t milliseconds);
    // Delivers device notices until one of either kind is recorded, or `milliseconds` have
    // passed (-1: no limit); false when Ctrl-C comes first.
    bool ForAnyNotice(int milliseconds = -1);
    bool StopRequested() const;

  private:
    // Waits once for a notice, a stop request, or `milliseconds` (-1: no limit), and delivers
    // what came; false when the wait itself failed.
    bool DeliverNotices(int milliseconds);

    DeviceEventSource& source_;
};

}  // namespace ostrel::cli
