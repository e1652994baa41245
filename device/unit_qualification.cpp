#include "unit_qualification.h"

#include "device_link.h"

#include <cstdio>

namespace knot::device {
namespace {

std::uint16_t LittleEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

} // namespace

UnitIds ReadUnitIds(const std::uint8_t* descriptor) {
    return {LittleEndian16(descriptor + DESCRIPTOR_VENDOR_ID_OFFSET),
            LittleEndian16(descriptor + DESCRIPTOR_PRODUCT_ID_OFFSET)};
}

bool IsUnitProduct(const UnitIds& ids) {
    return ids.productId == UNIT_PRODUCT_ID;
}

std::int32_t PacketSizeFor(std::string path, const UnitIds& ids) {
    for (char& c : path) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    char pattern[32];
    std::snprintf(pattern, sizeof pattern, SHORT_PACKET_PATH_PATTERN, unsigned{ids.vendorId},
                  unsigned{ids.productId});
    return path.find(pattern) != std::string::npos ? SHORT_PACKET_SIZE : FULL_PACKET_SIZE;
}

std::string WhyNotQualifying(const UnitInterface& unit) {
    if (unit.qualifies) {
        return "";
    }
    if (unit.path.empty()) {
        return "its device path cannot be read";
    }
    if (!unit.hasDescriptor) {
        return "it gives no device descriptor";
    }
    char text[64];
    std::snprintf(text, sizeof text, "foreign product id 0x%04X", unsigned{unit.productId});
    return text;
}

} // namespace knot::device
