// SHA-256 of a file, for the flash report: which image went into the unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The digest of `size` bytes, as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::uint8_t* bytes, std::size_t size);
// The digest of the file's bytes; nothing when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);
