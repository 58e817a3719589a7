#pragma once
// One byte from the host across the simulated line to the bootloader model, and the answers it
// causes back: each byte garbled when the host's rate is not the one the bootloader locked onto,
// and timed by the line. Shared by the pseudo-terminal server and the USB/IP adapter.
#include <cstdint>
#include <vector>

#include "sim/bootloader_model.h"
#include "sim/tty/line_timing.h"
#include "sim/tty/rate_lock.h"

namespace ostrel::sim {

struct TimedByte {
    LineTiming::Clock::time_point due;  // when it reaches the host
    std::uint8_t byte;
    bool endsAnswer = false;  // the last byte of one answer; the line may go quiet after it
};

// `byte` was handed to the host's port at `sentAt`, sent at `hostBaud`.
std::vector<TimedByte> CrossLine(BootloaderModel& model, LineTiming& timing, RateLock& rate,
                                 std::uint8_t byte, LineTiming::Clock::time_point sentAt,
                                 std::uint32_t hostBaud);

}  // namespace ostrel::sim
