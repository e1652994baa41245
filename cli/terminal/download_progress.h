// How knot-fdt shows a download: on a terminal a live bar with the stage, steps done of total,
// throughput and time left; otherwise one line per stage as it ends, with the seconds it took.
// The lane tells it the download core's events as they come.
#pragma once

#include "commit_wait.h"
#include "download_report.h"
#include "failure.h"
#include "stage_times.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace knot::cli {
using namespace knot::logic;
using namespace knot::station;

class DownloadProgress {
  public:
    using Clock = std::chrono::steady_clock;

    // `bar`: draw the live bar on `out`. `cpuBlocks` and `flashBlocks`: the blocks the run sends
    // of each region.
    DownloadProgress(std::FILE* out, bool bar, std::size_t cpuBlocks, std::size_t flashBlocks,
                     const CommitWait& wait);

    // Written before every stage line (several units at once name their unit there).
    void SetLinePrefix(std::string prefix) { m_prefix = std::move(prefix); }

    // Marks the run's start (the prepare begins).
    void Begin();
    // A stage began: the one before it is closed with its line.
    void BeginStage(Stage stage, const DownloadReport& report);
    // After a block or a tick: the bar is redrawn now and then. `position`: the steps of the
    // stage done (CPU steps, flash blocks, ticks).
    void Step(const DownloadReport& report, long position);
    // The run is over: closes the last stage and clears the bar (once; later calls do nothing).
    void End(const DownloadReport& report);
    // Clears the bar so that another line can be printed.
    void ClearBar();

  private:
    void CloseStage(Stage stage, const DownloadReport& report, double seconds);
    void DrawBar(const DownloadReport& report, long position, Clock::time_point now);

    std::FILE* m_out;
    bool m_bar;
    std::size_t m_cpuBlocks;
    std::size_t m_flashBlocks;
    std::size_t m_lastSent = 0;
    CommitWait m_wait;
    StageTimes m_times;
    Clock::time_point m_lastDraw;
    bool m_barShown = false;
    std::string m_prefix;
};

} // namespace knot::cli
