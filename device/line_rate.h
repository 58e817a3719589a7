#pragma once
// The line rates of the programming adapter's CP210x bridge that the bootloader can follow. The
// bootloader measures the rate from the sync byte and keeps it until it is reset.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace ostrel {

inline constexpr std::uint32_t kDefaultLineRate = 9600;
inline constexpr std::array<std::uint32_t, 6> kLineRates = {9600,  19200,  38400,
                                                            57600, 115200, 230400};

inline bool IsLineRate(std::uint32_t baud) {
    return std::find(kLineRates.begin(), kLineRates.end(), baud) != kLineRates.end();
}

// The time `characters` take on the line at `baud` (9600 when 0): 11 bit times each (start,
// 8 data, even parity, stop). No two bytes arrive closer together than one such time.
constexpr std::chrono::nanoseconds LineTime(std::size_t characters, std::uint32_t baud) {
    return std::chrono::nanoseconds(11'000'000'000LL * static_cast<long long>(characters) /
                                    (baud != 0 ? baud : kDefaultLineRate));
}

}  // namespace ostrel
