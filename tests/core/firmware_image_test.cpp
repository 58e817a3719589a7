#include "core/firmware_image.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/files.h"

namespace ostrel {
namespace {

// The embedded arrays must be the release files byte for byte.
TEST(Payload, EmbeddedBlocksEqualTheReleaseFiles) {
    const std::string flash = test::FileText(OSTREL_FLASH_BLOCK_PATH);
    const std::string data = test::FileText(OSTREL_DATA_BLOCK_PATH);
    ASSERT_EQ(flash.size(), kFlashSize);
    ASSERT_EQ(data.size(), kDataSize);
    EXPECT_TRUE(flash == std::string(std::begin(FlashBlock), std::end(FlashBlock)));
    EXPECT_TRUE(data == std::string(std::begin(DataBlock), std::end(DataBlock)));
}

TEST(FirmwareImage, BlocksLandAtTheirAddressesAndTheRestIsZero) {
    auto image = std::make_unique<FirmwareImage>();
    BuildFirmwareImage(*image);
    const FirmwareImage& img = *image;
    for (std::uint32_t a : {0x0000u, 0x0FFFu, 0x1400u, 0x8BFFu}) EXPECT_EQ(img[a], 0) << a;
    EXPECT_EQ(img[0x1000], DataBlock[0]);
    EXPECT_EQ(img[0x13FF], DataBlock[1023]);
    EXPECT_EQ(img[0x1100], DataBlock[256]);  // first byte after the owner's settings
    EXPECT_EQ(img[0x8C00], FlashBlock[0]);
    EXPECT_EQ(img[0xFFFF], FlashBlock[29695]);
    // The last program-memory block is FlashBlock bytes 29,568 to 29,695.
    EXPECT_TRUE(std::equal(img.begin() + 0xFF80, img.end(), FlashBlock + 29568));

    std::size_t nonzeroOutside = 0;
    for (std::uint32_t a = 0; a < kImageSize; ++a) {
        const bool inData = a >= kDataStart && a < kDataStart + kDataSize;
        const bool inFlash = a >= kFlashStart;
        if (!inData && !inFlash && img[a] != 0) ++nonzeroOutside;
    }
    EXPECT_EQ(nonzeroOutside, 0u);
}

TEST(FirmwareImage, RebuildingOverAnyContentsGivesTheSameImage) {
    auto first = std::make_unique<FirmwareImage>();
    auto second = std::make_unique<FirmwareImage>();
    BuildFirmwareImage(*first);
    second->fill(0xA5);
    BuildFirmwareImage(*second);
    EXPECT_EQ(*first, *second);
}

}  // namespace
}  // namespace ostrel
