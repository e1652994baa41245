// One unit's download, as the window's Start runs it, with the record of every stage.
#include "flash_lane.h"

#include "download_progress.h"
#include "firmware_image.h"
#include "host_facts.h"
#include "identity_text.h"
#include "interrupt_flag.h"
#include "lane_record.h"
#include "transfer_log.h"
#include "unit_opening.h"
#include "unit_run.h"
#include "variant_profile.h"

namespace knot::cli {
namespace {

CommitWait WaitOf(const LaneSettings& settings) {
    if (settings.commitWaitMs) {
        return CommitWait::OfMilliseconds(*settings.commitWaitMs);
    }
    return {settings.profile->commitWaitSteps, COMMIT_WAIT_TICK};
}

} // namespace

FlashLane::FlashLane(LaneSettings settings)
    : m_settings(std::move(settings)), m_wait(WaitOf(m_settings)) {}

FlashLane::~FlashLane() = default;

ExitCode FlashLane::Run() {
    const LaneSettings& s = m_settings;
    const std::unique_ptr<DriverPort> machine = s.ports();
    // The platform's paths are looked up only without a shared log: the lookup reads the user
    // database, which is not safe from several lanes at once.
    TransferLog ownLog = s.log != nullptr ? TransferLog(std::string(), std::string())
                                          : TransferLog::AtPlatformPaths();
    UnitRunSettings settings;
    settings.devicePath = s.devicePath;
    settings.forWriting = true;
    settings.finishCommittedWait = s.finishCommittedWait;
    settings.stopRequested = Interrupted;
    UnitRun run(*s.profile, *machine, s.log != nullptr ? *s.log : ownLog, *this,
                std::move(settings));

    m_record = s.common;
    m_record["time"] = UtcTimestamp();
    AddUnitFacts(m_record, s.devicePath, s.deviceNumber, run.AnsweredRows());
    NoteRecord(m_record);
    const std::optional<Failure> failure = run.Open();
    if (!run.OpenedPath().empty()) {
        AddUnitFacts(m_record, run.OpenedPath(), run.OpenedNumber(), run.AnsweredRows());
    }
    NoteRecord(m_record);
    if (failure) {
        const UnitNotFound what = DescribeUnitNotFound(run, *failure, s.deviceNumber, *machine);
        m_record["failure"] = {{"stage", StageName(failure->stage)},
                               {"block", 0},
                               {"cause", CauseName(failure->cause)}};
        const bool stopped = what.code == ExitCode::Interrupted;
        return Finish({stopped ? "interrupted" : "failed", what.code, what.text}, what.text);
    }
    if (s.printIdentity) {
        PrintIdentityRows(run.AnsweredRows());
    }
    m_progress = std::make_unique<DownloadProgress>(
        s.stageLines ? s.stageLines : stdout, s.bar, s.stageLines == nullptr,
        s.image->CountCpuBlocksToSend(), s.image->FlashBlockCount(), m_wait);
    m_progress->SetLinePrefix(s.prefix);
    return Download(run);
}

ExitCode FlashLane::Download(UnitRun& run) {
    m_runMessage.reset();
    m_progress->Begin();
    {
        std::lock_guard lock(m_snapshotMutex);
        m_snapshot.report.failure = Failure{Stage::Prepare, 0, Cause::Interrupted};
    }
    m_run = &run;
    const DownloadReport& report = run.Download(*m_settings.image, m_wait);
    m_run = nullptr;
    m_progress->End(report);
    m_status.stage = static_cast<int>(report.stage);

    AddDownloadFacts(m_record, report, *m_progress);
    // Only what the logic said during this run: never the message of the load before it.
    nlohmann::ordered_json message = nullptr;
    if (m_runMessage) {
        message = *m_runMessage;
    }
    const bool stopped = run.Stopped() || (!report.succeeded && Interrupted());
    return Finish(DescribeDownloadEnd(report, stopped, m_wait), message);
}

void FlashLane::OnLogicEvent(const LogicEvent& event) {
    if (m_run == nullptr) {
        return; // the opening's events: the lane says what it found once it is open
    }
    const DownloadReport& report = m_run->Core().Report();
    std::visit(Overloaded{
                   [&](const StageBegan& began) {
                       m_progress->BeginStage(began.stage, report);
                       m_status.stage = static_cast<int>(began.stage);
                       m_status.total = static_cast<long>(began.steps);
                       m_status.done = 0;
                   },
                   [&](const BlockStep& step) {
                       m_progress->Step(report, step.number);
                       m_status.done = static_cast<long>(step.number);
                   },
                   [&](const WaitTick& tick) {
                       m_progress->Step(report, tick.done);
                       m_status.done = static_cast<long>(tick.done);
                   },
                   [&](const RunEnded& ended) {
                       if (ended.closing) {
                           ShowMessage(*ended.closing);
                       }
                   },
                   [&](const OperatorMessage& message) { ShowMessage(message); },
                   [](const auto&) {},
               },
               event);
    NoteStep(event);
}

void FlashLane::NoteStep(const LogicEvent& event) {
    const DownloadCore& core = m_run->Core();
    std::lock_guard lock(m_snapshotMutex);
    if (core.IsRunning()) {
        m_snapshot.report = core.Report();
        m_snapshot.report.failure = core.PendingStep(Cause::Interrupted);
    }
    const auto* began = std::get_if<StageBegan>(&event);
    if (began != nullptr && began->stage == Stage::Commit) {
        m_snapshot.commitInFlight = true; // until the core says whether it went
    } else if (std::holds_alternative<CommitSent>(event) ||
               std::holds_alternative<RunEnded>(event)) {
        m_snapshot.commitInFlight = false;
        m_snapshotChanged.notify_all();
    }
}

void FlashLane::ShowMessage(const OperatorMessage& message) {
    m_runMessage = message.text;
    if (!m_settings.printMessages) {
        return;
    }
    if (!m_run->Core().IsRunning()) {
        m_progress->End(m_run->Core().Report()); // the stage lines come before the message
    }
    std::FILE* to = message.icon == MessageIcon::Stop ? stderr : stdout;
    std::fprintf(to, "%s%s\n", m_settings.prefix.c_str(), message.text.c_str());
    std::fflush(to);
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

nlohmann::ordered_json FlashLane::RecordNow(std::string* line) const {
    if (m_status.ended) {
        if (line != nullptr) {
            *line = m_resultLine;
        }
        return m_record; // final, and no longer written once the lane ended
    }
    std::unique_lock lock(m_snapshotMutex);
    m_snapshotChanged.wait(lock, [this] { return !m_snapshot.commitInFlight; });
    const DownloadReport& report = m_snapshot.report;
    const LaneEnd end = DescribeDownloadEnd(report, true, m_wait);
    nlohmann::ordered_json record = m_snapshot.record;
    record["commitSent"] = report.commitSent;
    if (report.failure) {
        record["failure"] = {{"stage", StageName(report.failure->stage)},
                             {"block", report.failure->block},
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
