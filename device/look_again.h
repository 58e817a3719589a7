#pragma once
// When a lookup whose answer is not there yet is made again.
#include <cstdint>
#include <optional>

namespace ostrel {

// Windows announces a USB adapter before its driver has made the COM port, and installing the
// driver for an adapter it has never seen takes some seconds more. The lookup is repeated about
// this long after the arrival, then given up.
inline constexpr std::uint32_t kArrivalRetryMs[] = {300, 1000, 2000, 4000, 8000, 15000, 30000};

class LookAgainSchedule {
  public:
    // The pause before the next look, counted from the look before (300, 700, 1000, 2000, ...);
    // nullopt once the schedule is spent.
    std::optional<std::uint32_t> NextPause();
    // Starts the schedule again from its first step (a new arrival).
    void Restart();
    // How many pauses have been taken since the last Restart.
    int Taken() const;

  private:
    int taken_ = 0;
};

}  // namespace ostrel
