// The address ranges of an S-Record file that hold data: where its S1, S2 and S3 records store
// bytes, merged where they touch, read with the loader's own record rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DataRange {
    const char* region;  // "cpu" or "flash"
    std::uint32_t first; // S-Record address of the first byte
    std::uint32_t last;  // S-Record address of the last byte
};

// Meant for a file that has just loaded: records are read as the loader reads them, up to the
// first one the loader would refuse.
std::vector<DataRange> FindDataRanges(const std::string& path);
