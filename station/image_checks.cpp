#include "image_checks.h"

namespace knot::station {
namespace {

// Lines named in the checksum warning before it only counts the rest.
constexpr std::size_t MAX_WARNED_LINES = 20;

} // namespace

std::string ChecksumLinesText(const LoadResult& result) {
    const auto& lines = result.badChecksumLines;
    std::string text = "wrong checksum in the record";
    text += lines.size() > 1 ? "s on lines " : " on line ";
    for (std::size_t i = 0; i < lines.size() && i < MAX_WARNED_LINES; ++i) {
        text += (i ? ", " : "") + std::to_string(lines[i]);
    }
    if (lines.size() > MAX_WARNED_LINES) {
        text += " and " + std::to_string(lines.size() - MAX_WARNED_LINES) + " more";
    }
    return text;
}

std::string ChecksumWarning(const std::string& name, const LoadResult& result) {
    if (result.badChecksumLines.empty()) {
        return "";
    }
    return name + ": " + ChecksumLinesText(result) + " (loaded all the same)";
}

} // namespace knot::station
