// One unit's download from the command line: its own run of the download core (link, lock,
// disconnect watch) over the image that was loaded once, what it shows as it goes, and the
// record of what happened. Several lanes run at once, one per thread; nothing of one lane
// reaches another.
#pragma once

#include "commit_wait.h"
#include "download_report.h"
#include "driver_port_factory.h"
#include "exit_codes.h"
#include "logic_events.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
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

namespace knot::cli {
using namespace knot::core;
using namespace knot::device;
using namespace knot::logic;

class DownloadProgress;
struct LaneEnd;

// What the lanes share and what each one shows.
struct LaneSettings {
    const VariantProfile* profile = nullptr;
    DriverPortFactory ports;              // each lane makes its own port with it
    const FirmwareImage* image = nullptr; // loaded, read only, shared by every lane
    TransferLog* log = nullptr;
    std::string devicePath;                   // empty: the first qualifying unit
    std::optional<std::int32_t> deviceNumber; // the chosen unit's, when it was chosen
    std::optional<long> commitWaitMs;
    bool finishCommittedWait = false; // Ctrl-C stops the lane only before its commit
    nlohmann::ordered_json common;    // fields every record of the run starts with

    std::FILE* stageLines = nullptr; // where stage lines go; null: none
    bool bar = false;                // a live bar on stageLines (one unit on a terminal)
    std::string prefix;              // before every line the lane prints
    bool printIdentity = false;      // the identity rows on standard output
    bool printMessages = false;      // the logic's message boxes, as the window shows them
};

// What a lane is doing now, for a display that redraws every unit's line.
struct LaneStatus {
    std::atomic<int> stage{static_cast<int>(Stage::Idle)};
    std::atomic<long> done{0};
    std::atomic<long> total{0};
    std::atomic<int> code{0}; // the lane's exit status, once it ended
    std::atomic<bool> ended{false};
};

class FlashLane : private LogicObserver {
  public:
    explicit FlashLane(LaneSettings settings);
    ~FlashLane() override;

    // Opens the unit, reads its identity and downloads; returns the lane's exit status and
    // fills Record(). Safe to run on its own thread.
    ExitCode Run();

    const nlohmann::ordered_json& Record() const { return m_record; }
    // How the lane ended, in one line: "written", or what failed where.
    const std::string& ResultLine() const { return m_resultLine; }
    const LaneStatus& Status() const { return m_status; }
    // The wait after the commit that the lane's run has.
    const CommitWait& Wait() const { return m_wait; }

    // The record as it stands, from any thread: the final one once the lane ended, else one that
    // says the run was interrupted where it stands (its stage and block, whether the commit was
    // sent) for a program that ends before the lane does; `line` gets its operator's line.
    nlohmann::ordered_json RecordNow(std::string* line = nullptr) const;
    // Raised once the record is appended (ReportFile::AppendOnce): it is appended once, whoever
    // appends it.
    std::atomic<bool>& RecordAppended() { return m_recordTaken; }

  private:
    // Runs the download until it ends or Ctrl-C stops it, and notes what it did.
    ExitCode Download(UnitRun& run);
    // Closes the record, keeps the result line and marks the lane ended.
    ExitCode Finish(const LaneEnd& end, const nlohmann::ordered_json& message);
    // Keeps what RecordNow needs of a lane still running: the record so far.
    void NoteRecord(const nlohmann::ordered_json& record);
    // The core's events, on the lane's thread: the display, the status and the snapshot.
    void OnLogicEvent(const LogicEvent& event) override;
    void NoteStep(const LogicEvent& event);
    void ShowMessage(const OperatorMessage& message);

    // What the lane is at, for another thread: guarded by m_snapshotMutex. The report's failure
    // is the step a stop would leave undone; none before the download began.
    struct Snapshot {
        nlohmann::ordered_json record;
        DownloadReport report;
        // The commit is on its way: a record waits to know whether it went.
        bool commitInFlight = false;
    };

    LaneSettings m_settings;
    CommitWait m_wait;
    nlohmann::ordered_json m_record;
    std::string m_resultLine;
    LaneStatus m_status;
    mutable std::mutex m_snapshotMutex;
    mutable std::condition_variable m_snapshotChanged;
    Snapshot m_snapshot;
    std::atomic<bool> m_recordTaken{false};
    // Only on the lane's thread: its run and display while the download goes, and the last
    // message box of the running download.
    UnitRun* m_run = nullptr;
    std::unique_ptr<DownloadProgress> m_progress;
    std::optional<std::string> m_runMessage;
};

} // namespace knot::cli
