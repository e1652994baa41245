#include "region_dump.h"

#include "exclusive_file.h"

#include <cerrno>

namespace knot::core {
bool WriteRegionDump(const char* fileName, std::span<const std::uint8_t> bytes,
                     std::string& error) {
    errno = 0;
    std::FILE* file = OpenExclusive(fileName, "wb");
    if (!file) {
        error = SystemErrorText(errno);
        return false;
    }
    errno = 0;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int writeError = errno;
    // Closing flushes what the stream still buffers, so it can fail too.
    errno = 0;
    bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = SystemErrorText(!written ? writeError : errno);
        return false;
    }
    return true;
}

bool WriteImageDumps(const FirmwareImage& image, LoadResult& result) {
    const char* names[] = {CPU_DUMP_FILE_NAME, FLASH_DUMP_FILE_NAME};
    std::span<const std::uint8_t> regions[] = {image.CpuRegion, image.FlashRegion};
    for (int i = 0; i < 2; ++i) {
        std::string error;
        if (!WriteRegionDump(names[i], regions[i], error)) {
            result.kind = LoadResult::FileError;
            result.file = names[i];
            result.error = std::move(error);
            result.dumpFile = true;
            return false;
        }
    }
    return true;
}

} // namespace knot::core
