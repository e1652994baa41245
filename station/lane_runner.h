// The lanes of flash --all and of the station: a thread per unit that runs its lane and appends
// its record to the report, the tally of how the runs ended, and the exit status they give. The
// commands decide when lanes start and show them from Lanes(); the runner keeps the books.
#pragma once

#include "lane.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace knot::station {
class RunSetup;

// One lane the runner started. Its status may be read at any time, its record and result line
// once the status says it ended, the rest once the runner reaped it.
struct RunningLane {
    std::string path;
    std::int32_t number = 0;
    std::string slot; // where the unit sits ("" when not known before it opens)
    std::unique_ptr<Lane> lane;
    std::chrono::steady_clock::time_point start;
    ExitCode code = ExitCode::Success;
    bool recorded = true; // the record was appended to the report
    bool reaped = false;
    std::thread thread;
};

// How the runs ended so far, and how many still run.
struct LaneTally {
    int written = 0;
    int failed = 0;
    int interrupted = 0;
    int running = 0;
};

class LaneRunner {
  public:
    // `setup` appends the records; `sayProblem` hears (on any lane's thread) that one could not
    // be appended.
    LaneRunner(RunSetup& setup, std::function<void(const std::string&)> sayProblem)
        : m_setup(setup), m_sayProblem(std::move(sayProblem)) {}
    // Waits for every lane still running.
    ~LaneRunner();
    LaneRunner(const LaneRunner&) = delete;
    LaneRunner& operator=(const LaneRunner&) = delete;

    // Starts a lane for the unit at `settings.devicePath` on a thread of its own.
    void Start(LaneSettings settings, std::int32_t number);
    // Joins and tallies every lane whose run is over and whose record is appended, and hands
    // each to `ended` in the order they ended (on the calling thread, after the tally).
    void Reap(const std::function<void(const RunningLane&)>& ended);
    // Forgets the lanes reaped already.
    void DropReaped();
    // Waits until a lane is over that was not reaped yet, or `timeout` passed.
    void WaitForAnEnd(std::chrono::milliseconds timeout);

    // Whether a lane not reaped yet is for the unit at `path`.
    bool HasLaneFor(const std::string& path) const;
    // Every lane started and not dropped, in the order they started.
    const std::list<RunningLane>& Lanes() const { return m_lanes; }
    const LaneTally& Tally() const { return m_tally; }
    // 130 when a run was interrupted, `notWritten` when another one ended not written, 2 when a
    // record could not be appended, 0 otherwise.
    ExitCode ExitStatus(ExitCode notWritten) const;

    // The program's last words, from any thread: appends the record of every lane not reaped
    // yet, unless it is appended already (a lane still running is recorded as interrupted where
    // it stands), lets no other record follow, and returns the tally that counts those lanes.
    LaneTally AppendUnfinished();

  private:
    void RunLane(RunningLane& entry);
    bool Append(Lane& lane);
    static void Count(LaneTally& tally, ExitCode code);

    RunSetup& m_setup;
    std::function<void(const std::string&)> m_sayProblem;
    // Changed by the command's thread under m_mutex, so that the last words can read them.
    std::list<RunningLane> m_lanes; // a list: a running lane's entry never moves
    LaneTally m_tally;
    bool m_recordLost = false;
    std::mutex m_mutex;
    std::condition_variable m_endedChanged;
    std::vector<RunningLane*> m_ended; // over, not reaped yet; guarded by m_mutex
};

// "unit 3 [Port_#0003.Hub_#0001]": a unit and where it sits ("" for no slot).
std::string UnitName(std::int32_t number, const std::string& slot);
// "3 passed, 1 failed, 0 interrupted, 2 in progress".
std::string TallyText(const LaneTally& tally);
// An ended lane in one line: its record's time, the unit, where it sits, the identity it
// answered with, how it ended and how long it took ("2026-12-09T10:00:00Z  unit 3 [bay-3]
// SIMUNIT 1.00 0000  written (1.6 s)"), or for a busy unit its time and its result line.
std::string EndedLaneText(const RunningLane& entry);

} // namespace knot::station
