#include "firmware_image.h"

#include <cstring>

namespace knot::core {
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
    // Eight bytes at a time, without a branch: the words of a block AND to all ones only when
    // every byte is 0xFF. A mostly blank CPU region is 8192 blocks to look at.
    static_assert(CPU_FILL == 0xFF);
    const std::uint8_t* block = CpuBlock(index).data();
    std::uint64_t all = ~std::uint64_t{0};
    for (std::size_t i = 0; i < DATA_BLOCK_SIZE; i += sizeof all) {
        std::uint64_t word;
        std::memcpy(&word, block + i, sizeof word);
        all &= word;
    }
    return all == ~std::uint64_t{0};
}

std::size_t FirmwareImage::CountCpuBlocksToSend() const {
    std::size_t count = 0;
    for (std::size_t i = 0; i < CPU_BLOCK_COUNT; ++i) {
        count += IsCpuBlockBlank(i) ? 0 : 1;
    }
    return count;
}

} // namespace knot::core
