// The device search's one rule of which interface is a unit and how long its packets are, read
// from the interface's descriptor and device path; DeviceAccess and knot-fdt's survey both use it.
#pragma once

#include <cstdint>
#include <string>

// The ids an interface's descriptor reports.
struct UnitIds {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// The little-endian vendor and product ids of an 8-byte descriptor.
UnitIds ReadUnitIds(const std::uint8_t* descriptor);
// Whether an interface with these ids is a unit: its product id is UNIT_PRODUCT_ID, whatever
// its vendor id.
bool IsUnitProduct(const UnitIds& ids);
// SHORT_PACKET_SIZE when the upper-cased path carries the short-packet mark of these ids,
// else FULL_PACKET_SIZE.
std::int32_t PacketSizeFor(std::string path, const UnitIds& ids);
