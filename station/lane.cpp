// One unit's run, with the record of every stage.
#include "lane.h"

#include "firmware_image.h"
#include "host_facts.h"
#include "interface_survey.h"
#include "record_id.h"
#include "transfer_log.h"
#include "unit_run.h"
#include "variant_profile.h"

namespace knot::station {
using namespace knot::core;
using namespace knot::device;
using namespace knot::logic;

Lane::Lane(LaneSettings settings) : m_settings(std::move(settings)) {}

Lane::~Lane() = default;

ExitCode Lane::Run() {
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
    settings.stopRequested = s.stopRequested;
    UnitRun run(*s.profile, *machine, s.log != nullptr ? *s.log : ownLog, *this,
                std::move(settings));

    // Each record carries its own id, by which the line's database keeps it once.
    m_record = {{"recordId", NewRecordId()}};
    m_record.update(s.common);
    m_record["time"] = UtcTimestamp();
    AddUnitFacts(m_record, {s.devicePath, s.deviceNumber, s.slot}, run.AnsweredRows());
    NoteRecord(m_record);
    m_failure = run.Open();
    if (!run.OpenedPath().empty()) {
        const std::string slot = s.slot.empty() ? SlotOfPath(*machine, run.OpenedPath()) : s.slot;
        AddUnitFacts(m_record, {run.OpenedPath(), run.OpenedNumber(), slot}, run.AnsweredRows());
    }
    NoteRecord(m_record);
    if (m_failure) {
        const LaneEnd end = DescribeUnitNotFound(*m_failure, run, s.deviceNumber, *machine);
        m_record["failure"] = FailureJson(*m_failure);
        return Finish(end, end.line);
    }
    m_identity = run.AnsweredRows();
    m_status.identified = true; // after the rows: a display may read them now
    if (s.listener != nullptr) {
        s.listener->OnUnitReady(run.AnsweredRows());
    }
    return Download(run);
}

ExitCode Lane::Download(UnitRun& run) {
    m_runMessage.reset();
    m_times.Begin(StageTimes::Clock::now());
    {
        std::lock_guard lock(m_snapshotMutex);
        m_snapshot.report.failure = Failure{Stage::Prepare, 0, Cause::Interrupted};
    }
    m_run = &run;
    const DownloadReport& report = run.Download(*m_settings.image, m_settings.wait);
    m_run = nullptr;
    m_times.End(StageTimes::Clock::now());
    m_status.stage = static_cast<int>(report.stage);
    m_failure = report.failure;

    AddDownloadFacts(m_record, report, m_times);
    // Only what the logic said during this run: never the message of a load before it.
    nlohmann::ordered_json message = nullptr;
    if (m_runMessage) {
        message = *m_runMessage;
    }
    const bool stopped = run.Stopped() || (!report.succeeded && StopRequested());
    return Finish(DescribeDownloadEnd(report, stopped, m_settings.wait), message);
}

void Lane::OnLogicEvent(const LogicEvent& event) {
    if (m_run == nullptr) {
        return; // the opening's events: the record says what it found once it is open
    }
    const DownloadReport& report = m_run->Core().Report();
    std::visit(Overloaded{
                   [&](const StageBegan& began) {
                       m_times.Enter(began.stage, StageTimes::Clock::now());
                       m_status.stage = static_cast<int>(began.stage);
                       m_status.total = static_cast<long>(began.steps);
                       m_status.done = 0;
                   },
                   [&](const BlockStep& step) { m_status.done = static_cast<long>(step.number); },
                   [&](const WaitTick& tick) { m_status.done = static_cast<long>(tick.done); },
                   [&](const RunEnded& ended) {
                       if (ended.closing) {
                           m_runMessage = ended.closing->text;
                       }
                   },
                   [&](const OperatorMessage& message) { m_runMessage = message.text; },
                   [](const auto&) {},
               },
               event);
    NoteStep(event);
    if (m_settings.listener != nullptr) {
        m_settings.listener->OnDownloadEvent(event, report);
    }
}

void Lane::NoteStep(const LogicEvent& event) {
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

ExitCode Lane::Finish(const LaneEnd& end, const nlohmann::ordered_json& message) {
    m_resultLine = end.line;
    m_record = CloseRecord(m_record, end, message);
    if (m_settings.listener != nullptr) {
        m_settings.listener->OnLaneEnded(end);
    }
    m_status.code = static_cast<int>(end.code);
    m_status.ended = true; // after the record and the line: a display may read them now
    return end.code;
}

void Lane::NoteRecord(const nlohmann::ordered_json& record) {
    std::lock_guard lock(m_snapshotMutex);
    m_snapshot.record = record;
}

nlohmann::ordered_json Lane::RecordNow(std::string* line) const {
    if (m_status.ended) {
        if (line != nullptr) {
            *line = m_resultLine;
        }
        return m_record; // final, and no longer written once the lane ended
    }
    std::unique_lock lock(m_snapshotMutex);
    m_snapshotChanged.wait(lock, [this] { return !m_snapshot.commitInFlight; });
    const DownloadReport& report = m_snapshot.report;
    const LaneEnd end = DescribeDownloadEnd(report, true, m_settings.wait);
    nlohmann::ordered_json record = m_snapshot.record;
    record["commitSent"] = report.commitSent;
    record["failure"] = FailureJson(
        report.failure ? Failure{report.failure->stage, report.failure->block, Cause::Interrupted}
                       : Failure{Stage::Identity, 0, Cause::Interrupted});
    if (line != nullptr) {
        *line = report.failure ? end.line : "interrupted during identity";
    }
    return CloseRecord(record, end, nullptr);
}

} // namespace knot::station
