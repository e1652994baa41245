// A station: it watches the present interfaces at the arrival poller's pace, starts a lane for
// each qualifying unit as it is plugged in, and keeps the books of the lanes until it is told to
// stop. Its front ends (knot-fdt station, the station window) poll it on their own thread and
// hear what happened as events there.
#pragma once

#include "lane_runner.h"
#include "station_presence.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>

namespace knot::station {
class RunSetup;

// What a station's front end hears, on the thread that polls it.
class StationListener {
  public:
    virtual ~StationListener() = default;
    // A unit was plugged in and its lane started.
    virtual void OnLaneStarted(const RunningLane& lane) = 0;
    // A lane ended and its record was appended; `tally` counts it.
    virtual void OnLaneEnded(const RunningLane& lane, const LaneTally& tally) = 0;
    // A unit written in this plug is gone from `slot`.
    virtual void OnUnplugged(std::int32_t number, const std::string& slot) = 0;
    // After every poll: the lanes not yet ended (their status may be read) and the tally.
    virtual void OnPolled(const std::list<RunningLane>& lanes, const LaneTally& tally) = 0;
};

class Station {
  public:
    // Every lane starts from `base` (its stop also asks `base.stopRequested`); records are
    // appended through `setup`, and `sayProblem` hears a record that could not be.
    Station(RunSetup& setup, LaneSettings base, StationListener& listener,
            std::function<void(const std::string&)> sayProblem);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // One round: the lanes that ended are told, the present interfaces are listed and a lane is
    // started for each new qualifying unit (none once stopping). False once the station stopped
    // and every lane is over. Called at PollInterval().
    bool Poll();
    // No unit is taken from now on: lanes that sent their commit finish its wait, the others
    // stop before it.
    void Stop() { m_stopping = true; }
    bool Stopping() const { return m_stopping; }

    std::chrono::milliseconds PollInterval() const;
    const LaneTally& Tally() const { return m_runner.Tally(); }
    // 0 when every run ended written, `notWritten` when one did not, 2 when a record was lost.
    ExitCode ExitStatus(ExitCode notWritten) const { return m_runner.ExitStatus(notWritten); }
    // The program's last words, from any thread (LaneRunner::AppendUnfinished).
    LaneTally AppendUnfinished() { return m_runner.AppendUnfinished(); }

  private:
    void StartLanes();

    LaneSettings m_base;
    StationListener& m_listener;
    std::atomic<bool> m_stopping{false};
    std::unique_ptr<DriverPort> m_port;
    PresenceRules m_rules;
    Presence m_present;
    LaneRunner m_runner;
};

} // namespace knot::station
