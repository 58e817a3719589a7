#pragma once
// The byte link the bootloader protocol runs on: a serial port, or a simulated device in tests.
#include <cstdint>

namespace ostrel {

class ByteLink {
  public:
    virtual ~ByteLink() = default;

    // Discards every byte that has arrived and not been read.
    virtual void FlushInput() = 0;
    // Bytes that have arrived and not been read; 0 when no link is open.
    virtual std::int32_t PendingInputCount() = 0;
    // Reads up to `count` bytes; true only when exactly `count` were read.
    virtual bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) = 0;
    // Writes `count` bytes; true only when all were written. A count of 0 writes nothing.
    virtual bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) = 0;

    // Up to `tries` polls, each a 1 ms sleep followed by a look at PendingInputCount; true at
    // the first poll that finds at least `count` bytes waiting. Waits are counted in polls,
    // not in elapsed time. `tries` 0 gives false at once.
    virtual bool WaitForInput(std::uint32_t tries, std::uint16_t count);

  protected:
    // One poll period: 1 ms, or the platform's next coarser step.
    virtual void SleepOnePoll() = 0;
};

}  // namespace ostrel
