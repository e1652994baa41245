// UTF-8 as the station's messages and its database rows need it: a path or a file's bytes shown
// with U+FFFD for what is not UTF-8, and the same text as UTF-16 for ODBC's wide columns.
#pragma once

#include <string>
#include <string_view>

namespace knot::station {
// `bytes` with every byte that does not start or continue a valid UTF-8 sequence replaced by
// U+FFFD; valid text comes back unchanged.
std::string ShownText(std::string_view bytes);

// `bytes` as UTF-16 code units (bytes that are not UTF-8 become U+FFFD).
std::u16string Utf16FromUtf8(std::string_view bytes);

} // namespace knot::station
