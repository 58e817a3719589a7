#pragma once
// Bytes a wait has taken from the driver ahead of the read that asks for them. A wait that
// must see `count` bytes arrive takes them out of the driver's queue; the next read gets them
// first. Both platforms' serial ports keep one.
#include <algorithm>
#include <cstdint>
#include <vector>

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

}  // namespace ostrel
