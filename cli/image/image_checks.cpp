#include "image_checks.h"

#include <cstdio>

namespace knot::cli {
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

void WarnAboutChecksums(const std::string& path, const LoadResult& result) {
    if (result.badChecksumLines.empty()) {
        return;
    }
    std::fprintf(stderr, "knot-fdt: warning: %s: %s (loaded all the same)\n", path.c_str(),
                 ChecksumLinesText(result).c_str());
}

} // namespace knot::cli
