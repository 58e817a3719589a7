#pragma once
// When bytes cross the simulated serial line: at the line's rate (9600 baud unless given) with
// 11 bit times a character (start, 8 data, parity, stop) in each direction, and 6 ms for the
// bootloader to store a block before it acknowledges. Without pacing the line only keeps the
// order of answers and their delays.
#include <chrono>
#include <cstdint>
#include <vector>

#include "device/line_rate.h"
#include "sim/bootloader_model.h"

namespace ostrel::sim {

// One character's time on the line at `baud` (9600 when 0).
constexpr std::chrono::nanoseconds ByteTime(std::uint32_t baud) {
    return LineTime(1, baud);
}

class LineTiming {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::nanoseconds kByteTime = ByteTime(9600);  // 1.146 ms
    static constexpr std::chrono::milliseconds kBlockStoreTime{6};

    explicit LineTiming(bool paced) : paced_(paced) {}

    // When a byte the host handed to its port at `sentAt` has reached the device, sent at
    // `baud`. The bytes of one write follow each other at line pace.
    Clock::time_point ToDevice(Clock::time_point sentAt, std::uint32_t baud = 9600);
    // When each byte of `reply` reaches the host, sent at `baud`, for a reply to a frame that
    // reached the device at `causeAt`. An answer starts only once the one before it has left.
    std::vector<Clock::time_point> ToHost(Clock::time_point causeAt, const Reply& reply,
                                          std::uint32_t baud = 9600);
    // The host closed its port: answers still on their way are dropped, the line is free.
    void DropAnswersInFlight() { hostBound_ = {}; }

  private:
    bool paced_;
    Clock::time_point deviceBound_{};  // when the line towards the device is next free
    Clock::time_point hostBound_{};    // when the line towards the host is next free
};

}  // namespace ostrel::sim
