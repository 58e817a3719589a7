#pragma once
// The release as the target sees it: one byte per 16-bit target address.
#include <array>
#include <cstdint>
#include <span>

namespace ostrel {

inline constexpr std::size_t kImageSize = 0x10000;
inline constexpr std::uint32_t kFlashStart = 0x8C00;       // program memory, up to 0xFFFF
inline constexpr std::uint32_t kFlashSize = 0x7400;        // 29,696 bytes, 232 blocks
inline constexpr std::uint32_t kDataStart = 0x1000;        // data memory, up to 0x13FF
inline constexpr std::uint32_t kDataSize = 0x400;          // 1,024 bytes, 8 blocks
inline constexpr std::uint32_t kUserSettingsEnd = 0x1100;  // owner's settings: 0x1000-0x10FF

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
