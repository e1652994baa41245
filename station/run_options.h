// The options a flash or a station is started with, on knot-fdt's command line and on the
// station window's: one definition of each, with its help and its check.
#pragma once

#include "run_setup.h"

namespace CLI {
class App;
} // namespace CLI

namespace knot::station {
// Which options a command takes beside the model, the report, the checks and FILE.
enum class RunOptionSet {
    Flash,   // flash
    Station, // a station: also --operator and --work-order
};

// Adds --model, --report, --allow-bad-checksums, --allow-empty, --commit-wait-ms and FILE (and a
// station's own) to `command`, storing them in `options`.
void AddRunOptions(CLI::App& command, RunOptions& options, RunOptionSet set);

} // namespace knot::station
