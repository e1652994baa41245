// Small helpers of the logic's suites: a scratch folder, images made in memory, and both models.
#pragma once

#include "knot_names.h"

#include <gtest/gtest.h>

#include "firmware_image.h"
#include "scratch_folder.h"
#include "variant_profile.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

// Puts an image into `image` as a load would leave it: CPU blocks `cpuBlocks` (by index) hold
// data, the flash region holds data up to `flashExtent` (a multiple of 32) when `flashData`.
inline void FillImage(FirmwareImage& image, std::initializer_list<std::size_t> cpuBlocks,
                      std::uint32_t flashExtent, bool flashData = true) {
    image.Reset();
    for (std::size_t block : cpuBlocks) {
        for (std::size_t i = 0; i < DATA_BLOCK_SIZE; ++i) {
            image.CpuRegion[block * DATA_BLOCK_SIZE + i] = static_cast<std::uint8_t>(block + i);
        }
    }
    if (flashData) {
        for (std::size_t i = 0; i < flashExtent + DATA_BLOCK_SIZE && i < FLASH_REGION_SIZE; ++i) {
            image.FlashRegion[i] = static_cast<std::uint8_t>(i * 7 + 1);
        }
    }
    image.flashExtent = flashExtent;
    image.flashDataStored = flashData;
    image.imageLoaded = true;
}

// Both models, for TEST_P suites.
inline const VariantProfile* BothModels[] = {&VariantQProfile(), &VariantPProfile()};

inline std::string ModelName(const ::testing::TestParamInfo<const VariantProfile*>& info) {
    return info.param->modelName[5] == 'Q' ? "Q" : "P";
}
