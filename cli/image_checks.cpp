#include "image_checks.h"

#include <cstdio>

namespace {

// Lines named in the checksum warning before it only counts the rest.
constexpr std::size_t MAX_WARNED_LINES = 20;

} // namespace

void WarnAboutChecksums(const std::string& path, const LoadResult& result) {
    const auto& lines = result.badChecksumLines;
    if (lines.empty()) {
        return;
    }
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < MAX_WARNED_LINES; ++i) {
        text += (i ? ", " : "") + std::to_string(lines[i]);
    }
    if (lines.size() > MAX_WARNED_LINES) {
        text += " and " + std::to_string(lines.size() - MAX_WARNED_LINES) + " more";
    }
    std::fprintf(stderr,
                 "knot-fdt: warning: %s: wrong checksum in the record%s on line%s %s "
                 "(loaded all the same)\n",
                 path.c_str(), lines.size() > 1 ? "s" : "", lines.size() > 1 ? "s" : "",
                 text.c_str());
}
