// Raw dumps of the image's regions, written after a complete load when the program was started
// with the dump switch.
#pragma once

#include "firmware_image.h"

#include <cstdint>
#include <span>
#include <string>

namespace knot::core {
// Creates (or replaces) `fileName`, unshared, and writes `bytes` to it in one write. On failure
// returns false with the system's error text in `error`.
bool WriteRegionDump(const char* fileName, std::span<const std::uint8_t> bytes, std::string& error);

// Writes "CPU_Mem.bin" and then "Flash_Mem.bin" into the current directory; a failed dump stops
// the rest. On failure `result` becomes a FileError naming the dump file.
bool WriteImageDumps(const FirmwareImage& image, LoadResult& result);

} // namespace knot::core
