// What a download run has done and, when it failed, where and why: the stages, the failure and
// the report that the logic tells its observers at the end of a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace knot::logic {
enum class DownloadStage { Idle, Prepare, CpuBlocks, FlashBlocks, Commit, Wait, Finished };

enum class DownloadFailureCause {
    LinkFailed,  // the driver did not take a packet
    Refused,     // the unit refused the command or block
    NoAnswer,    // the unit did not answer
    UnitRemoved, // the unit was unplugged during the run
    Interrupted, // the run was cancelled (knot-fdt's Ctrl-C)
};

struct DownloadFailure {
    DownloadStage stage = DownloadStage::Idle;
    std::int32_t blockNumber = 0; // the block number sent in that stage (from 1); 0 for commands
    DownloadFailureCause cause = DownloadFailureCause::NoAnswer;
};

// What the last (or current) run has done, for knot-fdt and tests.
struct DownloadReport {
    DownloadStage stage = DownloadStage::Idle;
    std::size_t cpuBlocksSent = 0;
    std::size_t cpuBlocksSkipped = 0;
    std::size_t flashBlocksSent = 0;
    std::uint32_t waitStepsDone = 0;
    bool commitSent = false;
    bool succeeded = false;
    std::optional<DownloadFailure> failure;
};

} // namespace knot::logic
