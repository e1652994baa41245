// One unit's run in a station or in knot-fdt flash: its own run of the download core (link, lock,
// disconnect watch) over the image that was loaded once, the record of what happened, and what a
// front end may read of it while it runs. Several lanes run at once, one per thread; nothing of
// one lane reaches another.
#pragma once

#include "commit_wait.h"
#include "download_report.h"
#include "driver_port_factory.h"
#include "exit_codes.h"
#include "lane_record.h"
#include "logic_events.h"
#include "stage_times.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace knot::core {
class FirmwareImage;
struct VariantProfile;
} // namespace knot::core

namespace knot::device {
class TransferLog;
} // namespace knot::device

namespace knot::logic {
class UnitRun;
} // namespace knot::logic

namespace knot::station {
using namespace knot::core;
using namespace knot::device;
using namespace knot::logic;

// What a front end hears of a lane, on the lane's own thread.
class LaneListener {
  public:
    virtual ~LaneListener() = default;
    // The unit answered its identity query with `rows`: its download comes next.
    virtual void OnUnitReady(const IdentityValues& rows) = 0;
    // Each event of the download, with the run's report as it stands.
    virtual void OnDownloadEvent(const LogicEvent& event, const DownloadReport& report) = 0;
    // The lane ended: its record is closed and `end` says how.
    virtual void OnLaneEnded(const LaneEnd& end) = 0;
};

// What the lanes share and what each one is given.
struct LaneSettings {
    const VariantProfile* profile = nullptr;
    DriverPortFactory ports;              // each lane makes its own port with it
    const FirmwareImage* image = nullptr; // loaded, read only, shared by every lane
    TransferLog* log = nullptr;           // shared; null: the lane's own at the platform's paths
    std::string devicePath;               // empty: the first qualifying unit
    std::optional<std::int32_t> deviceNumber; // the chosen unit's, when it was chosen
    std::string slot;                         // where the unit sits; "": looked up when it opens
    CommitWait wait;                          // after the commit
    bool finishCommittedWait = false;         // a stop ends the lane only before its commit
    std::function<bool()> stopRequested;
    nlohmann::ordered_json common; // fields every record of the run starts with
    LaneListener* listener = nullptr;
};

// What a lane is doing now, for a display that redraws every unit's line or tile.
struct LaneStatus {
    std::atomic<int> stage{static_cast<int>(Stage::Idle)};
    std::atomic<long> done{0};
    std::atomic<long> total{0};
    std::atomic<int> code{0};            // the lane's exit status, once it ended
    std::atomic<bool> identified{false}; // the unit answered its identity query (Identity())
    std::atomic<bool> ended{false};
};

class Lane : private LogicObserver {
  public:
    explicit Lane(LaneSettings settings);
    ~Lane() override;

    // Opens the unit, reads its identity and downloads; returns the lane's exit status and
    // fills Record(). Safe to run on its own thread.
    ExitCode Run();

    const nlohmann::ordered_json& Record() const { return m_record; }
    // How the lane ended, in one line: "written", or what failed where.
    const std::string& ResultLine() const { return m_resultLine; }
    const LaneStatus& Status() const { return m_status; }
    const CommitWait& Wait() const { return m_settings.wait; }
    // Where and why the lane failed, once it ended (none when it ended written).
    const std::optional<Failure>& EndFailure() const { return m_failure; }
    // The rows the unit answered with, once the status says it was identified.
    const IdentityValues& Identity() const { return m_identity; }

    // The record as it stands, from any thread: the final one once the lane ended, else one that
    // says the run was interrupted where it stands (its stage and block, whether the commit was
    // sent) for a program that ends before the lane does; `line` gets its operator's line.
    nlohmann::ordered_json RecordNow(std::string* line = nullptr) const;
    // Raised once the record is appended (ReportFile::AppendOnce): it is appended once, whoever
    // appends it.
    std::atomic<bool>& RecordAppended() { return m_recordTaken; }

  private:
    // Runs the download until it ends or a stop ends it, and notes what it did.
    ExitCode Download(UnitRun& run);
    // Closes the record, keeps the result line and marks the lane ended.
    ExitCode Finish(const LaneEnd& end, const nlohmann::ordered_json& message);
    // Keeps what RecordNow needs of a lane still running: the record so far.
    void NoteRecord(const nlohmann::ordered_json& record);
    bool StopRequested() const { return m_settings.stopRequested && m_settings.stopRequested(); }
    // The core's events, on the lane's thread: the status, the times and the snapshot.
    void OnLogicEvent(const LogicEvent& event) override;
    void NoteStep(const LogicEvent& event);

    // What the lane is at, for another thread: guarded by m_snapshotMutex. The report's failure
    // is the step a stop would leave undone; none before the download began.
    struct Snapshot {
        nlohmann::ordered_json record;
        DownloadReport report;
        // The commit is on its way: a record waits to know whether it went.
        bool commitInFlight = false;
    };

    LaneSettings m_settings;
    nlohmann::ordered_json m_record;
    std::string m_resultLine;
    std::optional<Failure> m_failure;
    IdentityValues m_identity;
    LaneStatus m_status;
    mutable std::mutex m_snapshotMutex;
    mutable std::condition_variable m_snapshotChanged;
    Snapshot m_snapshot;
    std::atomic<bool> m_recordTaken{false};
    // Only on the lane's thread: its run while the download goes, the stages' times, and the
    // last message box of the running download.
    UnitRun* m_run = nullptr;
    StageTimes m_times;
    std::optional<std::string> m_runMessage;
};

} // namespace knot::station
