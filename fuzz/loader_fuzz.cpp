// Feeds arbitrary bytes to the S-Record loader, as a file of either model, and checks what a
// loaded image promises the download: flashExtent a multiple of 32 within 0..0x7FFE0.
#include "firmware_image.h"
#include "variant_profile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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
        Check(image->flashExtent % BLOCK_SIZE == 0);
        Check(image->flashExtent <= FLASH_EXTENT_LIMIT);
        Check(image->FlashBlockCount() * BLOCK_SIZE <= FLASH_REGION_SIZE);
        Check(image->FlashBlockCount() >= image->flashExtent / BLOCK_SIZE);
    } else {
        Check(result.line >= 1);
        Check(result.reason != RejectReason::None);
    }
    return 0;
}
