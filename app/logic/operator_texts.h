// The fixed English texts the operator sees: status line, identity rows and message boxes.
// Every text is written here once; the logic and its tests refer to these names.
#pragma once

#include <string>

namespace knot::core {
struct LoadResult;
} // namespace knot::core

namespace knot::logic {
using namespace knot::core;

// Status line during a download.
inline constexpr const char* STATUS_PREPARING = "Downloading .";
inline constexpr const char* STATUS_CPU_PHASE = "Downloading ..";
inline constexpr const char* STATUS_FLASH_PHASE = "Downloading ...";
inline constexpr const char* STATUS_WRITING = "Writing";
inline constexpr const char* STATUS_EMPTY = "";

// Message boxes.
inline constexpr const char* DOWNLOAD_FAILED_TEXT = "Failed in the download of the flash data.";
inline constexpr const char* DOWNLOAD_DONE_TEXT = "The flash data was written to the device.";
inline constexpr const char* LOAD_DONE_TEXT = "An S-Record file was loaded.";
inline constexpr const char* LOAD_REJECTED_TEXT = "Failed in loading of an S-Record file.";
inline constexpr const char* INITIALIZE_DONE_TEXT =
    "Succeeded in the initialization of the setting data.";
inline constexpr const char* INITIALIZE_FAILED_TEXT =
    "Failed in the initialization of the setting data.";

// The identity list: the label of each row, and the value shown until a unit answers.
inline constexpr const char* IDENTITY_ROW_LABELS[] = {"Program Name", "Version", "Check SUM"};
inline constexpr const char* IDENTITY_PLACEHOLDER = "--------";

// The message of a load that failed on a file: what could not be done to which file and in which
// folder, then the system's own reason, e.g. "Could not write the dump file CPU_Mem.bin in /proc:
// Permission denied". A relative name is placed in the working directory.
std::string FileErrorMessage(const LoadResult& result);

} // namespace knot::logic
