// Feeds arbitrary bytes to the S-Record loader, as a file of either model, and checks what a
// loaded image promises the download: flashExtent a multiple of 32 within 0..0x7FFE0, and no
// flash data beyond the blocks that are sent.
#include "firmware_image.h"
#include "variant_profile.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace knot::fuzz {
using namespace knot::core;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

} // namespace knot::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace knot::fuzz;
    static FirmwareImage* image =
        new FirmwareImage; // one image, refilled by every load as in the program
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the model, the rest is the file.
    const VariantProfile& profile = (data[0] & 1) ? VariantPProfile() : VariantQProfile();
    std::FILE* file = size > 1 ? fmemopen(const_cast<std::uint8_t*>(data + 1), size - 1, "rb")
                               : std::fopen("/dev/null", "rb");
    if (!file) {
        return 0;
    }
    LoadResult result = image->loadSRecordStream(file, "fuzz input", profile);
    std::fclose(file);

    Check(result.kind != LoadResult::FileError);
    Check(image->imageLoaded == (result.kind == LoadResult::Loaded));
    if (result.kind == LoadResult::Loaded) {
        Check(image->flashExtent % DATA_BLOCK_SIZE == 0);
        Check(image->flashExtent <= FLASH_EXTENT_LIMIT);
        Check(image->FlashBlockCount() * DATA_BLOCK_SIZE <= FLASH_REGION_SIZE);
        Check(image->FlashBlockCount() >= image->flashExtent / DATA_BLOCK_SIZE);
        // Every flash byte a record stored lies within the blocks the download sends.
        static const std::array<std::uint8_t, FLASH_REGION_SIZE> zeros{};
        std::size_t sent = image->FlashBlockCount() * DATA_BLOCK_SIZE;
        Check(std::memcmp(image->FlashRegion.data() + sent, zeros.data(),
                          FLASH_REGION_SIZE - sent) == 0);
        // The last byte of each region can never be loaded.
        Check(image->CpuRegion[CPU_REGION_SIZE - 1] == CPU_FILL);
        Check(image->FlashRegion[FLASH_REGION_SIZE - 1] == FLASH_FILL);
    } else {
        Check(result.line >= 1);
        Check(result.reason != RejectReason::None);
    }
    return 0;
}
