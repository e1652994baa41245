// How knot-fdt flash shows a lane on the terminal: the unit's identity rows, the stage lines or
// the live bar of its download, the message the window would show at its end, and why it did not
// end written. Each lane has its own, on the lane's thread.
#pragma once

#include "download_progress.h"
#include "lane.h"
#include "lane_runner.h"
#include "live_lines.h"

#include <cstdio>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace knot::cli {
using namespace knot::station;

// What the printer prints.
struct LanePrinting {
    std::FILE* stageLines = nullptr; // where stage lines go; null: none
    bool bar = false;                // a live bar on stageLines (one unit on a terminal)
    std::string prefix;              // before every line
    bool printIdentity = false;      // the identity rows on standard output
    bool printMessages = false;      // the closing message, as the window shows it
};

class LanePrinter : public LaneListener {
  public:
    // `cpuBlocks` and `flashBlocks`: what the image sends; `wait`: the run's wait after the
    // commit.
    LanePrinter(LanePrinting printing, std::size_t cpuBlocks, std::size_t flashBlocks,
                const CommitWait& wait);

    void OnUnitReady(const IdentityValues& rows) override;
    void OnDownloadEvent(const LogicEvent& event, const DownloadReport& report) override;
    void OnLaneEnded(const LaneEnd& end) override;

  private:
    LanePrinting m_printing;
    std::optional<DownloadProgress> m_progress;
};

// The lanes not ended yet, as their live lines show them ("unit N").
std::vector<LaneLook> LooksOf(const std::list<RunningLane>& lanes);

} // namespace knot::cli
