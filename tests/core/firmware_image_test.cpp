#include "knot_names.h"

#include "firmware_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>

namespace {

struct BlockCountCase {
    std::uint32_t flashExtent;
    bool flashDataStored;
    std::size_t blocks;
};

// "Extent20WithData": the case in words, for its name and for a failure message.
std::string Describe(const BlockCountCase& c) {
    char text[48];
    std::snprintf(text, sizeof text, "Extent%X%s", static_cast<unsigned>(c.flashExtent),
                  c.flashDataStored ? "WithData" : "WithoutData");
    return text;
}

void PrintTo(const BlockCountCase& c, std::ostream* out) {
    *out << Describe(c);
}

class FlashBlockCountTest : public ::testing::TestWithParam<BlockCountCase> {};

TEST_P(FlashBlockCountTest, SendsBlocksUpToTheExtentWhenThereIsFlashData) {
    auto image = std::make_unique<FirmwareImage>();
    image->flashExtent = GetParam().flashExtent;
    image->flashDataStored = GetParam().flashDataStored;
    EXPECT_EQ(image->FlashBlockCount(), GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(Extents, FlashBlockCountTest,
                         ::testing::Values(BlockCountCase{0, false, 0}, BlockCountCase{0, true, 1},
                                           BlockCountCase{0x20, true, 2},
                                           BlockCountCase{0x20, false, 2},
                                           BlockCountCase{FLASH_EXTENT_LIMIT, true, 16384}),
                         [](const auto& info) { return Describe(info.param); });

TEST(FirmwareImageTest, StartsEmptyWithRegionFills) {
    auto image = std::make_unique<FirmwareImage>();
    EXPECT_FALSE(image->imageLoaded);
    EXPECT_EQ(image->flashExtent, 0u);
    EXPECT_EQ(image->CountCpuBlocksToSend(), 0u);
    EXPECT_EQ(image->FlashBlockCount(), 0u);
    EXPECT_EQ(image->FlashRegion[FLASH_REGION_SIZE - 1], FLASH_FILL);
}

TEST(FirmwareImageTest, ABlockWithAnyByteOtherThanFFIsSent) {
    auto image = std::make_unique<FirmwareImage>();
    image->CpuRegion[0] = 0xFE;                   // first byte of block 0
    image->CpuRegion[32 * 7 + 31] = 0x00;         // last byte of block 7
    image->CpuRegion[CPU_REGION_SIZE - 1] = 0x12; // last block
    EXPECT_FALSE(image->IsCpuBlockBlank(0));
    EXPECT_TRUE(image->IsCpuBlockBlank(1));
    EXPECT_FALSE(image->IsCpuBlockBlank(7));
    EXPECT_TRUE(image->IsCpuBlockBlank(8));
    EXPECT_FALSE(image->IsCpuBlockBlank(CPU_BLOCK_COUNT - 1));
    EXPECT_EQ(image->CountCpuBlocksToSend(), 3u);
    EXPECT_EQ(image->CpuBlock(7)[31], 0x00);
}

} // namespace
