// Lets GoogleTest show a LoadResult in words when an expectation on it fails.
#pragma once

#include "knot_names.h"

#include "firmware_image.h"

#include <ostream>

inline void PrintTo(const LoadResult& result, std::ostream* out) {
    static const char* const kinds[] = {"Loaded", "Rejected", "FileError"};
    *out << kinds[result.kind] << " (line " << result.line << ", reason "
         << static_cast<int>(result.reason) << ", file '" << result.file << "', error '"
         << result.error << "')";
}
