// Writes Motorola S-Record text: one record with its byte count and checksum. Used by the sample
// generator, the tests and the benchmarks to make their input files.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace knot::tools {
// The record of `type` ('0' to '9') at `address` holding `data`, without a line end. The address
// takes 2, 3 or 4 bytes as the type requires.
std::string FormatSRecord(char type, std::uint32_t address, std::span<const std::uint8_t> data);

// The number of address bytes of a record type.
int SRecordAddressBytes(char type);

} // namespace knot::tools
