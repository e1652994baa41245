// One unit's download, as the window's Start runs it, with the record of every stage.
#include "flash_lane.h"

#include "download_progress.h"
#include "firmware_image.h"
#include "host_facts.h"
#include "identity_text.h"
#include "interrupt_flag.h"
#include "lane_record.h"
#include "unit_session_runner.h"
#include "variant_profile.h"

#include <memory>

namespace knot::cli {
using namespace knot::core;

namespace {

// The lane's figure of progress in the stage it is in: steps done of total.
void NoteStatus(LaneStatus& status, const DownloadReport& report, int position,
                std::size_t flashBlocks, std::uint32_t waitSteps) {
    status.stage = static_cast<int>(report.stage);
    const StageSteps steps =
        StepsOfStage(report, position, flashBlocks, CommitWait{waitSteps}).value_or(StageSteps{});
    status.done = steps.done;
    status.total = steps.total;
}

} // namespace

void CopyImage(const FirmwareImage& from, FirmwareImage& to) {
    to.CpuRegion = from.CpuRegion;
    to.FlashRegion = from.FlashRegion;
    to.flashExtent = from.flashExtent;
    to.flashDataStored = from.flashDataStored;
    to.imageLoaded = from.imageLoaded;
}

ExitCode FlashLane::Run() {
    const LaneSettings& s = m_settings;
    UnitSessionRunner runner(s.ports, *s.profile, s.devicePath, s.log, s.deviceNumber);
    DownloadSequence& sequence = runner.controller().Sequence();
    std::unique_ptr<DownloadProgress> progress;
    ScopedObserver heard(runner.controller(), [&](const LogicEvent& event) {
        const OperatorMessage* message = std::get_if<OperatorMessage>(&event);
        if (const auto* ended = std::get_if<RunEnded>(&event)) {
            message = ended->closing ? &*ended->closing : nullptr;
        } else if (const auto* step = std::get_if<BlockStep>(&event)) {
            if (step->stage == DownloadStage::CpuBlocks) {
                m_cpuSteps = static_cast<int>(step->number);
            }
        } else if (std::holds_alternative<BlocksPlanned>(event) ||
                   std::holds_alternative<IdentityReset>(event)) {
            m_cpuSteps = 0;
        }
        if (message == nullptr) {
            return;
        }
        m_runMessage = message->text;
        if (!s.printMessages) {
            return;
        }
        if (progress && !sequence.IsRunning()) {
            progress->End(sequence.Report()); // the stage lines come before the closing message
        }
        std::FILE* to = message->icon == MessageIcon::Stop ? stderr : stdout;
        std::fprintf(to, "%s%s\n", s.prefix.c_str(), message->text.c_str());
        std::fflush(to);
    });

    m_record = s.common;
    m_record["time"] = UtcTimestamp();
    AddUnitFacts(m_record, s.devicePath, s.deviceNumber, runner.AnsweredRows());
    NoteRecord(m_record);
    const UnitSessionRunner::Found found = runner.OpenUnit(true);
    if (!runner.OpenedPath().empty()) {
        AddUnitFacts(m_record, runner.OpenedPath(), runner.OpenedNumber(), runner.AnsweredRows());
    }
    NoteRecord(m_record);
    if (found != UnitSessionRunner::Found::Ready) {
        UnitNotFound what = DescribeUnitNotFound(runner, found);
        m_record["failure"] = {{"stage", what.stage}, {"block", 0}, {"cause", what.cause}};
        const bool stopped = what.code == ExitCode::Interrupted;
        return Finish({stopped ? "interrupted" : "failed", what.code, what.text}, what.text);
    }
    if (s.printIdentity) {
        PrintIdentityRows(runner.AnsweredRows());
    }
    progress = PrepareDownload(runner.controller());
    return Download(runner, *progress);
}

std::unique_ptr<DownloadProgress> FlashLane::PrepareDownload(FlashTransferController& controller) {
    const LaneSettings& s = m_settings;
    DownloadSequence& sequence = controller.Sequence();
    CopyImage(*s.image, controller.Image());
    if (s.commitWaitMs) {
        const CommitWait wait = CommitWait::OfMilliseconds(*s.commitWaitMs);
        sequence.SetCommitWait(wait.steps, wait.tick);
    }
    auto progress = std::make_unique<DownloadProgress>(
        s.stageLines ? s.stageLines : stdout, s.bar, s.stageLines == nullptr,
        s.image->CountCpuBlocksToSend(), s.image->FlashBlockCount(), sequence.Wait());
    progress->SetLinePrefix(s.prefix);
    return progress;
}

ExitCode FlashLane::Download(UnitSessionRunner& runner, DownloadProgress& progress) {
    FlashTransferController& controller = runner.controller();
    DownloadSequence& sequence = controller.Sequence();
    const std::size_t flashBlocks = m_settings.image->FlashBlockCount();
    const std::uint32_t waitSteps = sequence.CommitWaitSteps();
    m_runMessage.reset();
    const DownloadReport& report = sequence.Report();
    std::unique_lock<std::mutex> atCommit(m_snapshotMutex, std::defer_lock);
    auto note = [&] {
        progress.Update(report, m_cpuSteps);
        NoteStatus(m_status, report, m_cpuSteps, flashBlocks, waitSteps);
        NoteStep(atCommit, sequence, waitSteps);
    };
    progress.Begin();
    {
        std::lock_guard lock(m_snapshotMutex);
        m_snapshot.report.failure = {DownloadStage::Prepare, 0, DownloadFailureCause::Interrupted};
    }
    controller.OnStartDownload();
    note();
    const bool finished =
        runner.Pump([&] { return !sequence.IsRunning(); }, note,
                    [&] { return m_settings.finishCommittedWait && report.commitSent; });
    if (atCommit.owns_lock()) {
        atCommit.unlock();
    }
    if (!finished) {
        sequence.Cancel(); // between two blocks: nothing more goes to the unit
    }
    progress.End(report);
    m_status.stage = static_cast<int>(report.stage);

    AddDownloadFacts(m_record, report, progress);
    // Only what the logic said during this run: never the message of the load before it.
    nlohmann::ordered_json message = nullptr;
    if (m_runMessage) {
        message = *m_runMessage;
    }
    const bool stopped = !finished || (!report.succeeded && Interrupted());
    return Finish(DescribeDownloadEnd(report, stopped, waitSteps), message);
}

ExitCode FlashLane::Finish(const LaneEnd& end, const nlohmann::ordered_json& message) {
    m_resultLine = end.line;
    m_record = CloseRecord(m_record, end, message);
    if (m_settings.printMessages && end.code != ExitCode::Success) {
        // A busy unit's line names the unit itself.
        const bool named = end.code == ExitCode::UnitBusy;
        std::fprintf(stderr, "knot-fdt: %s%s\n", named ? "" : m_settings.prefix.c_str(),
                     m_resultLine.c_str());
    }
    m_status.code = static_cast<int>(end.code);
    m_status.ended = true; // after the record and the line: a display may read them now
    return end.code;
}

void FlashLane::NoteRecord(const nlohmann::ordered_json& record) {
    std::lock_guard lock(m_snapshotMutex);
    m_snapshot.record = record;
}

void FlashLane::NoteStep(std::unique_lock<std::mutex>& atCommit, const DownloadSequence& sequence,
                         std::uint32_t waitSteps) {
    if (!atCommit.owns_lock()) {
        atCommit.lock();
    }
    bool commitNext = false;
    if (sequence.IsRunning()) {
        m_snapshot.report = sequence.Report();
        m_snapshot.report.failure = sequence.PendingStep(DownloadFailureCause::Interrupted);
        m_snapshot.waitSteps = waitSteps;
        commitNext = m_snapshot.report.failure->stage == DownloadStage::Commit;
    }
    // Kept until the next note when the commit goes out next: a record taken meanwhile waits to
    // know whether it went.
    if (!commitNext) {
        atCommit.unlock();
    }
}

nlohmann::ordered_json FlashLane::RecordNow(std::string* line) const {
    if (m_status.ended) {
        if (line != nullptr) {
            *line = m_resultLine;
        }
        return m_record; // final, and no longer written once the lane ended
    }
    std::lock_guard lock(m_snapshotMutex);
    const DownloadReport& report = m_snapshot.report;
    const LaneEnd end = DescribeDownloadEnd(report, true, m_snapshot.waitSteps);
    nlohmann::ordered_json record = m_snapshot.record;
    record["commitSent"] = report.commitSent;
    if (report.failure) {
        record["failure"] = {{"stage", StageName(report.failure->stage)},
                             {"block", report.failure->blockNumber},
                             {"cause", "interrupted"}};
    } else {
        record["failure"] = {{"stage", "identity"}, {"block", 0}, {"cause", "interrupted"}};
    }
    if (line != nullptr) {
        *line = report.failure ? end.line : "interrupted during identity";
    }
    return CloseRecord(record, end, nullptr);
}

} // namespace knot::cli
