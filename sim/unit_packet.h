// What a virtual unit reads and writes in its packets, on top of the layout the host side names:
// which codes are identity queries, which packet types are CPU or flash blocks, the refusal status.
#pragma once

#include "command_texts.h"
#include "device_link.h"
#include "firmware_image.h"
#include "packet_protocol.h"

#include <cstddef>
#include <cstdint>

namespace knot::sim {
using namespace knot::core;
using namespace knot::device;

inline constexpr std::size_t UNIT_PACKET_SIZE_LONG = FULL_PACKET_SIZE;
inline constexpr std::size_t UNIT_PACKET_SIZE_SHORT = SHORT_PACKET_SIZE;

inline constexpr std::size_t PACKET_KIND_OFFSET = 9;  // 0x24 marks a data block
inline constexpr std::size_t PACKET_HEADER_SIZE = 10; // bytes 0-9, echoed in every answer
inline constexpr std::uint8_t DATA_BLOCK_KIND = 0x24;
inline constexpr std::size_t IDENTITY_TEXT_SIZE = 8; // program name or version, NUL-padded
inline constexpr std::uint8_t STATUS_REFUSED = 0x80; // status 10

// Identity queries of both models: 0x08x3 program name, 0x08x1 version, 0x08x2 checksum.
inline constexpr CommandCode IDENTITY_QUERY_MASK = 0x3F0F;
inline constexpr CommandCode QUERY_PROGRAM_NAME = 0x0803;
inline constexpr CommandCode QUERY_VERSION = 0x0801;
inline constexpr CommandCode QUERY_CHECKSUM = 0x0802;

// Data-block packet types: high nibble 1 = CPU, 2 = flash; low nibble 2 or 3 (the model).
inline constexpr std::uint8_t BLOCK_TYPE_REGION_MASK = 0xF0;
inline constexpr std::uint8_t BLOCK_TYPE_CPU = 0x10;
inline constexpr std::uint8_t BLOCK_TYPE_FLASH = 0x20;
inline constexpr std::uint8_t BLOCK_TYPE_MODEL_MASK = 0x0F;
inline constexpr std::uint8_t BLOCK_TYPE_MODEL_P = 0x02;
inline constexpr std::uint8_t BLOCK_TYPE_MODEL_Q = 0x03;
// A data block's code has the base's high byte and the packet type as its low byte.
inline constexpr CommandCode DATA_BLOCK_CODE_HIGH_MASK = 0xFF00;

// The interface class as it appears, in lower case, at the end of a device path.
inline constexpr const char* UNIT_INTERFACE_CLASS_TEXT = "{6850537e-9503-42ce-96dd-47049e09ba40}";

} // namespace knot::sim
