// The options of "knot-unit-sim serve", read the same way by the Linux server and the Windows one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace knot::sim {
struct ServeOptions {
    std::string directory;       // the rendezvous folder (Linux)
    std::string captureFile;     // empty: no capture
    std::string saveMemoryDir;   // empty: memory is not saved
    std::uint32_t latencyUs = 0; // delay before an answer can be received
};

// A decimal number of plain digits, at most `limit`.
bool ParseNumber(const std::string& text, std::uint64_t limit, std::uint64_t& value);

// Reads the options of "knot-unit-sim serve"; on failure `error` says why.
bool ParseServeOptions(const std::vector<std::string>& args, ServeOptions& options,
                       std::string& error);

} // namespace knot::sim
