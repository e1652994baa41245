// The operator's message for a file that a load could not read or write.
#include "operator_texts.h"

#include "firmware_image.h"

#include <filesystem>
#include <system_error>

namespace knot::logic {
using namespace knot::core;

std::string FileErrorMessage(const LoadResult& result) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::path path = fs::absolute(fs::path(result.file), ignored);
    if (path.empty()) {
        path = result.file; // no working directory to place it in: shown as given
    }
    std::string folder = path.parent_path().string();
    std::string message =
        result.dumpFile ? "Could not write the dump file " : "Could not read the S-Record file ";
    message += path.filename().string();
    if (!folder.empty()) {
        message += " in " + folder;
    }
    return message + ": " + result.error;
}

} // namespace knot::logic
