#include "firmware_image.h"

#include <algorithm>

FirmwareImage::FirmwareImage() {
    Reset();
}

void FirmwareImage::Reset() {
    imageLoaded = false;
    flashExtent = 0;
    flashDataStored = false;
    CpuRegion.fill(CPU_FILL);
    FlashRegion.fill(FLASH_FILL);
}

std::size_t FirmwareImage::FlashBlockCount() const {
    // Flash data that ends within the first block leaves flashExtent at 0 and still has to be sent.
    if (flashExtent == 0 && !flashDataStored) {
        return 0;
    }
    return flashExtent / DATA_BLOCK_SIZE + 1;
}

bool FirmwareImage::IsCpuBlockBlank(std::size_t index) const {
    auto block = CpuBlock(index);
    return std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == CPU_FILL; });
}

std::size_t FirmwareImage::CountCpuBlocksToSend() const {
    std::size_t count = 0;
    for (std::size_t i = 0; i < CPU_BLOCK_COUNT; ++i) {
        count += IsCpuBlockBlank(i) ? 0 : 1;
    }
    return count;
}
