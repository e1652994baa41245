#include "utf8_text.h"

#include <cstdint>

namespace knot::station {
namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

// The code point that starts at `at`, and how many bytes it takes (1 for a byte that starts no
// valid sequence: overlong forms, surrogates and values past U+10FFFF are not valid).
char32_t Decode(std::string_view bytes, std::size_t at, std::size_t& length) {
    const auto lead = static_cast<std::uint8_t>(bytes[at]);
    length = 1;
    if (lead < 0x80) {
        return lead;
    }
    std::size_t count = 0;
    char32_t value = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        count = 1, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 2, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 3, value = lead & 0x07, least = 0x10000;
    } else {
        return REPLACEMENT;
    }
    if (at + count >= bytes.size()) {
        return REPLACEMENT;
    }
    for (std::size_t i = 1; i <= count; ++i) {
        const auto next = static_cast<std::uint8_t>(bytes[at + i]);
        if ((next & 0xC0) != 0x80) {
            return REPLACEMENT;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return REPLACEMENT;
    }
    length = count + 1;
    return value;
}

} // namespace

std::string ShownText(std::string_view bytes) {
    std::string shown;
    shown.reserve(bytes.size());
    for (std::size_t at = 0, length = 0; at < bytes.size(); at += length) {
        const char32_t point = Decode(bytes, at, length);
        if (point == REPLACEMENT && length == 1) {
            shown += "\xEF\xBF\xBD";
        } else {
            shown.append(bytes.substr(at, length));
        }
    }
    return shown;
}

std::u16string Utf16FromUtf8(std::string_view bytes) {
    std::u16string wide;
    wide.reserve(bytes.size());
    for (std::size_t at = 0, length = 0; at < bytes.size(); at += length) {
        const char32_t point = Decode(bytes, at, length);
        if (point >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<char16_t>(point);
        }
    }
    return wide;
}

} // namespace knot::station
