#pragma once
// The line rates of the programming adapter's CP210x bridge that the bootloader can follow. The
// bootloader measures the rate from the sync byte and keeps it until it is reset.
#include <algorithm>
#include <array>
#include <cstdint>

namespace ostrel {

inline constexpr std::uint32_t kDefaultLineRate = 9600;
inline constexpr std::array<std::uint32_t, 6> kLineRates = {9600,  19200,  38400,
                                                            57600, 115200, 230400};

inline bool IsLineRate(std::uint32_t baud) {
    return std::find(kLineRates.begin(), kLineRates.end(), baud) != kLineRates.end();
}

}  // namespace ostrel
