#pragma once
// Bytes a wait has taken from the driver ahead of the read that asks for them. A wait that
// must see `count` bytes arrive takes them out of the driver's queue; the next read gets them
// first. Both platforms' serial ports keep one.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/line_rate.h"

namespace ostrel {

class LookAhead {
  public:
    std::size_t size() const { return bytes_.size(); }
    void clear() { bytes_.clear(); }

    // Appends what `read(destination, room)` delivers and returns its result: the bytes read,
    // or zero or less for none.
    template <typename Read>
    auto Append(std::size_t room, Read read) {
        const std::size_t had = bytes_.size();
        bytes_.resize(had + room);
        const auto got = read(bytes_.data() + had, room);
        bytes_.resize(had + (got > 0 ? static_cast<std::size_t>(got) : 0));
        return got;
    }

    // Moves up to `count` of them, oldest first, into `buffer`; returns how many.
    std::size_t TakeInto(std::uint8_t* buffer, std::size_t count) {
        const std::size_t early = std::min(count, bytes_.size());
        std::copy_n(bytes_.begin(), early, buffer);
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(early));
        return early;
    }

  private:
    std::vector<std::uint8_t> bytes_;
};

// How long a wait whose answer has begun, `missing` bytes short and `left` before its end, sleeps
// before it looks again. Bytes follow each other no closer than one character time, so it sleeps
// through all but the last instead of waking for each, which at 9600 baud is a wake-up a
// millisecond; the wait still ends when the last one arrives.
inline std::chrono::nanoseconds NapForAllButOne(std::size_t missing, std::uint32_t baud,
                                                std::chrono::nanoseconds left) {
    if (missing < 2 || left <= std::chrono::nanoseconds::zero()) return {};
    return std::min(LineTime(missing - 1, baud), left);
}

}  // namespace ostrel
