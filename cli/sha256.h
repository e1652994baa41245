// SHA-256 of an image's bytes, for inspect and the flash report: which image went into the unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The digest of `size` bytes, as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::uint8_t* bytes, std::size_t size);
