// The stages' times.
#include "stage_times.h"

namespace knot::station {
void StageTimes::Begin(Clock::time_point now) {
    m_stage = Stage::Idle;
    m_runStart = m_stageStart = now;
    m_seconds.fill(0.0);
}

double StageTimes::Enter(Stage stage, Clock::time_point now) {
    double seconds = 0.0;
    if (m_stage != Stage::Idle && m_stage != Stage::Finished) {
        seconds = std::chrono::duration<double>(now - m_stageStart).count();
        m_seconds[static_cast<std::size_t>(m_stage)] += seconds;
    }
    if (m_stage != Stage::Finished) {
        m_stage = stage;
        m_stageStart = now;
    }
    return seconds;
}

} // namespace knot::station
