// The whole of a file as bytes, read or written, for suites and benchmarks alike (no GoogleTest).
#pragma once

#include "knot_names.h"

#include <fstream>
#include <iterator>
#include <string>

// Empty when the file cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file's contents with `bytes`, as they are.
inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
