#pragma once
// What a simulated tracker holds: the program memory a tracker is shipped with (old firmware) or
// the release's, and whether a tracker's memory holds the release.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "core/firmware_image.h"
#include "sim/bootloader_model.h"

namespace ostrel::test {

// Program memory as the tracker is shipped, before any update.
inline void LoadOldFirmware(sim::BootloaderModel& tracker) {
    for (std::uint32_t a = kFlashStart; a <= 0xFFFF; ++a) {
        tracker.Memory()[a] = sim::BootloaderModel::OldFirmwareByte(a);
    }
}

// Program memory as an update to the release leaves it.
inline void LoadRelease(sim::BootloaderModel& tracker) {
    std::copy(std::begin(FlashBlock), std::end(FlashBlock), tracker.Memory().begin() + kFlashStart);
}

// Whether a tracker's 65,536 bytes hold the release's program memory, all of it.
inline bool HoldsRelease(std::span<const std::uint8_t> memory) {
    return memory.size() == 0x10000 &&
           std::equal(std::begin(FlashBlock), std::end(FlashBlock), memory.begin() + kFlashStart);
}
inline bool HoldsRelease(const std::string& memory) {
    return HoldsRelease({reinterpret_cast<const std::uint8_t*>(memory.data()), memory.size()});
}

}  // namespace ostrel::test
