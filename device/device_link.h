// The open unit as the main window holds it, and the constants that pick a unit and its packets.
// DeviceAccess opens and closes it, UnitLink forgets it; everything above only reads its fields.
#pragma once

#include "driver_port.h"

#include <cstddef>
#include <cstdint>

namespace knot::device {
// Bytes per packet: 64, or 62 for units whose device path carries the short-packet mark.
inline constexpr std::int32_t FULL_PACKET_SIZE = 64;
inline constexpr std::int32_t SHORT_PACKET_SIZE = 62;

// The product id a unit must report; its vendor id may be anything.
inline constexpr std::uint16_t UNIT_PRODUCT_ID = 0x7832;

// Filled with vendor id and product id; found anywhere in the upper-cased device path, it marks a
// unit that speaks 62-byte packets.
inline constexpr const char* SHORT_PACKET_PATH_PATTERN = "VID_%04X&PID_%04X#00002#";

// The device path is read into a 256-byte buffer with capacity 255; a longer path is refused.
inline constexpr std::size_t DEVICE_PATH_BUFFER_SIZE = 256;
inline constexpr std::size_t DEVICE_PATH_CAPACITY = 255;

// The 8-byte descriptor: little-endian vendor id at byte 2 and product id at byte 4.
inline constexpr std::size_t DEVICE_DESCRIPTOR_SIZE = 8;
inline constexpr std::size_t DESCRIPTOR_VENDOR_ID_OFFSET = 2;
inline constexpr std::size_t DESCRIPTOR_PRODUCT_ID_OFFSET = 4;

// The driver's number for a unit while it is not known.
inline constexpr std::int32_t UNKNOWN_DEVICE_NUMBER = -1;

struct DeviceLink {
    PortHandle handle = INVALID_PORT_HANDLE; // the opened interface, or INVALID_PORT_HANDLE
    std::int32_t packetSize = FULL_PACKET_SIZE;
    std::int32_t deviceNumber = UNKNOWN_DEVICE_NUMBER;

    bool IsOpen() const { return handle != INVALID_PORT_HANDLE; }
};

} // namespace knot::device
