// One unit's download from the command line: its own runner (link, session, disconnect watcher,
// download sequence), a private copy of the image that was loaded once, and the record of what
// happened. Several lanes run at once, one per thread; nothing of one lane reaches another.
#pragma once

#include "download_sequence.h"
#include "driver_port_factory.h"
#include "exit_codes.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
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
class FlashTransferController;
} // namespace knot::logic

namespace knot::cli {
using namespace knot::core;
using namespace knot::device;
using namespace knot::logic;

class DownloadProgress;
class UnitSessionRunner;
struct LaneEnd;

// What the lanes share and what each one shows.
struct LaneSettings {
    const VariantProfile* profile = nullptr;
    DriverPortFactory ports;              // each lane makes its own port with it
    const FirmwareImage* image = nullptr; // loaded, read only
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
    std::atomic<int> stage{static_cast<int>(DownloadStage::Idle)};
    std::atomic<long> done{0};
    std::atomic<long> total{0};
    std::atomic<int> code{0}; // the lane's exit status, once it ended
    std::atomic<bool> ended{false};
};

class FlashLane {
  public:
    explicit FlashLane(LaneSettings settings) : m_settings(std::move(settings)) {}

    // Opens the unit, reads its identity and downloads; returns the lane's exit status and
    // fills Record(). Safe to run on its own thread.
    ExitCode Run();

    const nlohmann::ordered_json& Record() const { return m_record; }
    // How the lane ended, in one line: "written", or what failed where.
    const std::string& ResultLine() const { return m_resultLine; }
    const LaneStatus& Status() const { return m_status; }

    // The record as it stands, from any thread: the final one once the lane ended, else one that
    // says the run was interrupted where it stands (its stage and block, whether the commit was
    // sent) for a program that ends before the lane does; `line` gets its operator's line.
    nlohmann::ordered_json RecordNow(std::string* line = nullptr) const;
    // Raised once the record is appended (ReportFile::AppendOnce): it is appended once, whoever
    // appends it.
    std::atomic<bool>& RecordAppended() { return m_recordTaken; }

  private:
    // Gives the unit the image and the commit wait; returns the display of the download.
    std::unique_ptr<DownloadProgress> PrepareDownload(FlashTransferController& controller);
    // Runs the download until it ends or Ctrl-C stops it, and notes what it did.
    ExitCode Download(UnitSessionRunner& runner, DownloadProgress& progress);
    // Closes the record, keeps the result line and marks the lane ended.
    ExitCode Finish(const LaneEnd& end, const nlohmann::ordered_json& message);
    // Keeps what RecordNow needs of a lane still running: the record so far, or where it is.
    void NoteRecord(const nlohmann::ordered_json& record);
    // Notes where the running download stands, under `atCommit` (on m_snapshotMutex).
    void NoteStep(std::unique_lock<std::mutex>& atCommit, const DownloadSequence& sequence,
                  std::uint32_t waitSteps);

    // What the lane is at, for another thread: guarded by m_snapshotMutex. The report's failure
    // is the step a stop would leave undone; none before the download began.
    struct Snapshot {
        nlohmann::ordered_json record;
        DownloadReport report;
        std::uint32_t waitSteps = 0;
    };

    LaneSettings m_settings;
    nlohmann::ordered_json m_record;
    std::string m_resultLine;
    LaneStatus m_status;
    mutable std::mutex m_snapshotMutex;
    Snapshot m_snapshot;
    std::atomic<bool> m_recordTaken{false};
    // What the logic told the lane's thread: the CPU steps done, and the last message box of the
    // running download.
    int m_cpuSteps = 0;
    std::optional<std::string> m_runMessage;
};

// Copies a loaded image (the image itself cannot be copied by accident: it is 768 KB).
void CopyImage(const FirmwareImage& from, FirmwareImage& to);

} // namespace knot::cli
