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

    // Up to `tries` tries of 1 ms each for at least `count` bytes to be waiting. True as soon as
    // they are, without waiting for the end of the try; a try in which they do not arrive costs
    // its whole 1 ms, so budgets are counted in tries, not in elapsed time. `tries` 0 gives
    // false at once.
    virtual bool WaitForInput(std::uint32_t tries, std::uint16_t count);

  protected:
    // One try: true as soon as `count` bytes are waiting (at once when they already are), false
    // when 1 ms, or the platform's next coarser step, has passed without them.
    virtual bool AwaitOneTry(std::uint16_t count) = 0;
};

}  // namespace ostrel
