#include "lane_record.h"

#include "download_progress.h"
#include "identity_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace knot::cli {
namespace {

std::string StoppedLine(const DownloadReport& report, const CommitWait& wait) {
    std::string line = std::string("interrupted during ") +
                       StageName(report.failure ? report.failure->stage : report.stage) + "; " +
                       (report.commitSent ? "the commit had been sent" : "no commit was sent");
    if (report.commitSent && !report.succeeded) {
        // The unit writes its flash on its own now; unplugging it would break that.
        const std::uint32_t left = wait.TicksLeft(report.waitStepsDone);
        char text[128];
        std::snprintf(text, sizeof text,
                      ": the unit is still writing its flash, keep it plugged in for another "
                      "%.0f s",
                      std::ceil(wait.Seconds(left)));
        line += text;
    }
    return line;
}

std::string FailedLine(const DownloadReport& report) {
    char text[160] = "failed";
    if (report.failure) {
        const Failure& failure = *report.failure;
        if (failure.block > 0) {
            std::snprintf(text, sizeof text, "failed in stage %s at block %d: %s",
                          StageName(failure.stage), static_cast<int>(failure.block),
                          CauseWords(failure.cause));
        } else {
            std::snprintf(text, sizeof text, "failed in stage %s: %s", StageName(failure.stage),
                          CauseWords(failure.cause));
        }
    }
    return text;
}

} // namespace

LaneEnd DescribeDownloadEnd(const DownloadReport& report, bool stopped, const CommitWait& wait) {
    if (stopped) {
        return {"interrupted", ExitCode::Interrupted, StoppedLine(report, wait)};
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
    for (Stage stage :
         {Stage::Prepare, Stage::CpuBlocks, Stage::FlashBlocks, Stage::Commit, Stage::Wait}) {
        seconds[StageName(stage)] = progress.StageSeconds(stage);
    }
    record["stageSeconds"] = seconds;
    if (report.failure) {
        record["failure"] = {{"stage", StageName(report.failure->stage)},
                             {"block", report.failure->block},
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
