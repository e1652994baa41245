// Small file helpers for the loader's suites, and the shared scratch folder under the name they
// use.
#pragma once

#include "file_text.h"
#include "scratch_folder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using TempFolder = ScratchFolder;

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
