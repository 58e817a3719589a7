#include "core/firmware_image.h"

#include <algorithm>

namespace ostrel {

void BuildFirmwareImage(FirmwareImage& image, std::span<const std::uint8_t, kFlashSize> flash,
                        std::span<const std::uint8_t, kDataSize> data) {
    image.fill(0);
    std::copy(data.begin(), data.end(), image.begin() + kDataStart);
    std::copy(flash.begin(), flash.end(), image.begin() + kFlashStart);
}

void BuildFirmwareImage(FirmwareImage& image) {
    BuildFirmwareImage(image, std::span<const std::uint8_t, kFlashSize>(FlashBlock),
                       std::span<const std::uint8_t, kDataSize>(DataBlock));
}

}  // namespace ostrel
