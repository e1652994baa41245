// The whole of a file as bytes, for suites and benchmarks alike (no GoogleTest): empty when it
// cannot be read.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
