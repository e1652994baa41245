// How knot-fdt shows a download: on a terminal a live bar with the stage, steps done of total,
// throughput and time left; otherwise one line per stage as it ends. It also times each stage.
#pragma once

#include "download_sequence.h"
#include "stage_name.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

namespace knot::cli {
using namespace knot::logic;

// How far a stage with steps is, in steps done of all it has: the window's progress position in
// the CPU blocks, the flash blocks sent, the ticks of the wait. Nothing for the other stages.
struct StageSteps {
    long done = 0;
    long total = 0;
};
std::optional<StageSteps> StepsOfStage(const DownloadReport& report, int position,
                                       std::size_t flashBlocks, const CommitWait& wait);

class DownloadProgress {
  public:
    using Clock = std::chrono::steady_clock;

    // `bar`: draw the live bar on `out`; `quiet`: print nothing at all (--json).
    // `cpuBlocks` and `flashBlocks`: the blocks the run sends of each region.
    DownloadProgress(std::FILE* out, bool bar, bool quiet, std::size_t cpuBlocks,
                     std::size_t flashBlocks, const CommitWait& wait);

    // Written before every stage line (several units at once name their unit there).
    void SetLinePrefix(std::string prefix) { m_prefix = std::move(prefix); }

    // Marks the run's start (the prepare begins).
    void Begin();
    // After each handled step: notes a stage change, redraws the bar now and then.
    void Update(const DownloadReport& report, int position);
    // The run is over: closes the last stage and clears the bar (once; later calls do nothing).
    void End(const DownloadReport& report);
    // Clears the bar so that another line can be printed.
    void ClearBar();

    // Seconds spent in each stage so far, indexed by DownloadStage.
    double StageSeconds(DownloadStage stage) const;

  private:
    void CloseStage(DownloadStage stage, const DownloadReport& report, Clock::time_point now);
    void DrawBar(const DownloadReport& report, int position, Clock::time_point now);

    std::FILE* m_out;
    bool m_bar;
    bool m_quiet;
    std::size_t m_cpuBlocks;
    std::size_t m_flashBlocks;
    std::size_t m_lastSent = 0;
    CommitWait m_wait;
    DownloadStage m_stage = DownloadStage::Idle;
    Clock::time_point m_runStart;
    Clock::time_point m_stageStart;
    Clock::time_point m_lastDraw;
    std::array<double, 7> m_seconds{};
    bool m_barShown = false;
    std::string m_prefix;
};

} // namespace knot::cli
