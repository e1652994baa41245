// How long each stage of a download took, from the core's events: a stage runs from its
// StageBegan to the next one's, the last to the run's end.
#pragma once

#include "failure.h"

#include <array>
#include <chrono>
#include <cstddef>

namespace knot::station {
using namespace knot::logic;

class StageTimes {
  public:
    using Clock = std::chrono::steady_clock;

    // The run begins (no stage yet).
    void Begin(Clock::time_point now);
    // `stage` begins: the one before it ends. Returns the seconds the ended stage took.
    double Enter(Stage stage, Clock::time_point now);
    // The run ended: the stage it was in ends. Returns the seconds it took.
    double End(Clock::time_point now) { return Enter(Stage::Finished, now); }

    Stage Current() const { return m_stage; }
    Clock::time_point RunStart() const { return m_runStart; }
    // Seconds spent in `stage` so far (a stage not yet ended counts nothing).
    double Seconds(Stage stage) const { return m_seconds[static_cast<std::size_t>(stage)]; }

  private:
    Stage m_stage = Stage::Idle;
    Clock::time_point m_runStart{};
    Clock::time_point m_stageStart{};
    std::array<double, static_cast<std::size_t>(Stage::Finished) + 1> m_seconds{};
};

} // namespace knot::station
