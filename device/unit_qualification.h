// The device search's one rule of which interface is a unit and how long its packets are, read
// from the interface's descriptor and device path, and what the search knows of an interface once
// it judged it. DeviceAccess judges; the window's unit selection and every survey of the
// interfaces take its verdict.
#pragma once

#include "device_link.h"

#include <cstdint>
#include <string>

namespace knot::device {
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

// One present interface of the units' class as the device search judged it.
struct UnitInterface {
    std::uint32_t index = 0; // in the order of the device search
    // The device path read into the search's buffer; when that read failed after the interface
    // was opened, the path it was opened at. "" when it could not be read or did not fit.
    std::string path;
    bool pathTooLong = false; // the path did not fit the search's buffer: refused
    bool hasDescriptor = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool qualifies = false;
    std::int32_t packetSize = FULL_PACKET_SIZE; // from the path as the buffer holds it
    std::int32_t deviceNumber = UNKNOWN_DEVICE_NUMBER;
    // Where the unit sits, as the port tells it (GetInterfaceLocation); "" when it tells none.
    std::string location;

    // Not judged yet: it could not be opened or gave no descriptor, so it may still turn out
    // to be a unit when it is looked at again.
    bool Unjudged() const { return !hasDescriptor && !pathTooLong; }
};

// Why an interface does not qualify, or "" when it does.
std::string WhyNotQualifying(const UnitInterface& unit);

} // namespace knot::device
