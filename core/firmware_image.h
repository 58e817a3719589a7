#pragma once
// The release as the target sees it: one byte per 16-bit target address.
#include <array>
#include <cstdint>
#include <span>

namespace ostrel {

inline constexpr std::size_t kImageSize = 0x10000;

// Target addresses from `start` up to, and not including, `end`.
struct MemoryRange {
    std::uint32_t start;
    std::uint32_t end;

    constexpr std::uint32_t Size() const { return end - start; }
    constexpr bool Contains(std::uint32_t address) const {
        return address >= start && address < end;
    }
};

// The target's memory map: program memory 0x8C00-0xFFFF (29,696 bytes, 232 blocks), data memory
// 0x1000-0x13FF (1,024 bytes, 8 blocks) with the owner's settings in its first 256 bytes.
inline constexpr MemoryRange kProgramMemory{0x8C00, 0x10000};
inline constexpr MemoryRange kDataMemory{0x1000, 0x1400};
inline constexpr MemoryRange kUserSettings{0x1000, 0x1100};
// What an update writes of the data memory when the owner's settings are kept.
inline constexpr MemoryRange kDataAfterUserSettings{kUserSettings.end, kDataMemory.end};

inline constexpr std::uint32_t kFlashStart = kProgramMemory.start;
inline constexpr std::uint32_t kFlashSize = kProgramMemory.Size();
inline constexpr std::uint32_t kDataStart = kDataMemory.start;
inline constexpr std::uint32_t kDataSize = kDataMemory.Size();

using FirmwareImage = std::array<std::uint8_t, kImageSize>;

// The embedded release blocks (generated from payload/ at build time).
extern const std::uint8_t FlashBlock[kFlashSize];
extern const std::uint8_t DataBlock[kDataSize];

// Zero-fills the image, then lays DataBlock in at 0x1000 and FlashBlock at 0x8C00.
void BuildFirmwareImage(FirmwareImage& image);
// The same from other blocks of the same sizes (used by tests and tools).
void BuildFirmwareImage(FirmwareImage& image, std::span<const std::uint8_t, kFlashSize> flash,
                        std::span<const std::uint8_t, kDataSize> data);

}  // namespace ostrel
