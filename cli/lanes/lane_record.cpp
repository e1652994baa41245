#include "lane_record.h"

#include "download_progress.h"
#include "identity_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace knot::cli {
namespace {

const char* CauseName(DownloadFailureCause cause) {
    switch (cause) {
    case DownloadFailureCause::LinkFailed:
        return "link-failed";
    case DownloadFailureCause::Refused:
        return "refused";
    case DownloadFailureCause::NoAnswer:
        return "no-answer";
    case DownloadFailureCause::UnitRemoved:
        return "unit-removed";
    case DownloadFailureCause::Interrupted:
        return "interrupted";
    }
    return "?";
}

const char* CauseText(DownloadFailureCause cause) {
    switch (cause) {
    case DownloadFailureCause::LinkFailed:
        return "the link failed: the driver did not take the packet";
    case DownloadFailureCause::Refused:
        return "the unit refused it";
    case DownloadFailureCause::NoAnswer:
        return "the unit stopped answering";
    case DownloadFailureCause::UnitRemoved:
        return "the unit was unplugged";
    case DownloadFailureCause::Interrupted:
        return "interrupted";
    }
    return "?";
}

std::string StoppedLine(const DownloadReport& report, std::uint32_t waitSteps) {
    std::string line = std::string("interrupted during ") +
                       StageName(report.failure ? report.failure->stage : report.stage) + "; " +
                       (report.commitSent ? "the commit had been sent" : "no commit was sent");
    if (report.commitSent && !report.succeeded) {
        // The unit writes its flash on its own now; unplugging it would break that.
        const std::uint32_t left = CommitWait{waitSteps}.TicksLeft(report.waitStepsDone);
        char text[128];
        std::snprintf(text, sizeof text,
                      ": the unit is still writing its flash, keep it plugged in for another "
                      "%.0f s",
                      std::ceil(CommitWait{}.Seconds(left)));
        line += text;
    }
    return line;
}

std::string FailedLine(const DownloadReport& report) {
    char text[160] = "failed";
    if (report.failure) {
        const DownloadFailure& failure = *report.failure;
        if (failure.blockNumber > 0) {
            std::snprintf(text, sizeof text, "failed in stage %s at block %d: %s",
                          StageName(failure.stage), static_cast<int>(failure.blockNumber),
                          CauseText(failure.cause));
        } else {
            std::snprintf(text, sizeof text, "failed in stage %s: %s", StageName(failure.stage),
                          CauseText(failure.cause));
        }
    }
    return text;
}

} // namespace

LaneEnd DescribeDownloadEnd(const DownloadReport& report, bool stopped, std::uint32_t waitSteps) {
    if (stopped) {
        return {"interrupted", ExitCode::Interrupted, StoppedLine(report, waitSteps)};
    }
    if (!report.succeeded) {
        return {"failed", ExitCode::DownloadFailed, FailedLine(report)};
    }
    return {"written", ExitCode::Success, "written"};
}

void AddUnitFacts(nlohmann::ordered_json& record, const std::string& path,
                  std::optional<std::int32_t> number, const IdentityValues& rows) {
    record["devicePath"] =
        path.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(path);
    record["deviceNumber"] =
        number ? nlohmann::ordered_json(*number) : nlohmann::ordered_json(nullptr);
    record["identity"] = IdentityJson(rows);
}

void AddDownloadFacts(nlohmann::ordered_json& record, const DownloadReport& report,
                      const DownloadProgress& progress) {
    record["blocksSent"] = {{"cpu", report.cpuBlocksSent}, {"flash", report.flashBlocksSent}};
    record["cpuBlocksSkipped"] = report.cpuBlocksSkipped;
    record["commitSent"] = report.commitSent;
    nlohmann::ordered_json seconds;
    for (DownloadStage stage :
         {DownloadStage::Prepare, DownloadStage::CpuBlocks, DownloadStage::FlashBlocks,
          DownloadStage::Commit, DownloadStage::Wait}) {
        seconds[StageName(stage)] = progress.StageSeconds(stage);
    }
    record["stageSeconds"] = seconds;
    if (report.failure) {
        record["failure"] = {{"stage", StageName(report.failure->stage)},
                             {"block", report.failure->blockNumber},
                             {"cause", CauseName(report.failure->cause)}};
    } else {
        record["failure"] = nullptr;
    }
}

nlohmann::ordered_json CloseRecord(const nlohmann::ordered_json& record, const LaneEnd& end,
                                   const nlohmann::ordered_json& message) {
    nlohmann::ordered_json closed{{"result", end.result}};
    closed.update(record);
    closed["message"] = message;
    closed["exitCode"] = static_cast<int>(end.code);
    return closed;
}

} // namespace knot::cli
