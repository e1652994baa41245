#include "srecord_writer.h"

namespace knot::tools {
int SRecordAddressBytes(char type) {
    switch (type) {
    case '2':
    case '8':
        return 3;
    case '3':
    case '7':
        return 4;
    default:
        return 2;
    }
}

std::string FormatSRecord(char type, std::uint32_t address, std::span<const std::uint8_t> data) {
    static const char digits[] = "0123456789ABCDEF";
    const int addressBytes = SRecordAddressBytes(type);
    std::string text = {'S', type};
    unsigned sum = 0;
    auto put = [&](unsigned byte) {
        text += digits[(byte >> 4) & 0xF];
        text += digits[byte & 0xF];
        sum += byte;
    };
    put(static_cast<unsigned>(addressBytes + data.size() + 1) & 0xFF);
    for (int i = addressBytes - 1; i >= 0; --i) {
        put((address >> (8 * i)) & 0xFF);
    }
    for (std::uint8_t byte : data) {
        put(byte);
    }
    put(~sum & 0xFF);
    return text;
}

} // namespace knot::tools
