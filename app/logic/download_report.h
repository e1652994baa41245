// What a download run has done and, when it failed, where and why: the report that the download
// core tells its observers at the end of a run.
#pragma once

#include "failure.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace knot::logic {
// What the last (or current) run has done.
struct DownloadReport {
    Stage stage = Stage::Idle;
    std::size_t cpuBlocksSent = 0;
    std::size_t cpuBlocksSkipped = 0;
    std::size_t flashBlocksSent = 0;
    std::uint32_t waitStepsDone = 0;
    bool commitSent = false;
    bool succeeded = false;
    std::optional<Failure> failure;
};

} // namespace knot::logic
