#include "lane_record.h"

#include "interface_survey.h"
#include "operator_texts.h"
#include "stage_times.h"
#include "unit_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace knot::station {
using namespace knot::device;
using namespace knot::logic;

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

// The identity query's failures in the operator's words.
const char* IdentityText(Cause cause) {
    switch (cause) {
    case Cause::Refused:
        return "the unit refused its identity query";
    case Cause::OutOfTurn:
        return "the unit kept answering its identity query out of turn (answers of the wrong "
               "size or for another command)";
    case Cause::LinkFailed:
        return "the driver did not take the identity query";
    case Cause::Removed:
        return "the unit was unplugged during its identity query";
    default:
        return "the unit did not answer its identity query";
    }
}

} // namespace

std::string PrintableIdentity(const std::string& value) {
    std::string shown = value;
    for (char& c : shown) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) {
            c = '?';
        }
    }
    return shown;
}

nlohmann::ordered_json IdentityJson(const IdentityValues& values) {
    nlohmann::ordered_json rows;
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        rows[IDENTITY_ROW_LABELS[row]] = PrintableIdentity(values[row]);
    }
    return rows;
}

std::string NoInterfaceText(DriverPort& port) {
    std::string text = "no qualifying unit is attached: no unit interface is present";
    // Where the port looked, and how to make a unit appear there (the simulator's folder).
    if (std::string absence = port.DescribeAbsence(); !absence.empty()) {
        text += "; " + absence;
    }
    return text;
}

LaneEnd DescribeUnitNotFound(const Failure& failure, const UnitRun& run,
                             std::optional<std::int32_t> number, DriverPort& machinePort) {
    const std::string unit = number ? "unit " + std::to_string(*number) : "the unit";
    switch (failure.cause) {
    case Cause::Busy:
        return {"failed", ExitCode::UnitBusy, unit + " is busy: another program is writing it"};
    case Cause::LockFailed:
        return {"failed", ExitCode::UnitBusy,
                unit + " cannot be locked for writing: " + run.LockProblem()};
    case Cause::NoUnit:
        return {"failed", ExitCode::NoUnit,
                run.AnyInterface() ? "no qualifying unit is attached"
                                   : NoInterfaceText(machinePort)};
    case Cause::Interrupted:
        return {"interrupted", ExitCode::Interrupted, "interrupted"};
    default:
        return {"failed", ExitCode::UnitRefused, IdentityText(failure.cause)};
    }
}

LaneEnd DescribeDownloadEnd(const DownloadReport& report, bool stopped, const CommitWait& wait) {
    if (stopped) {
        return {"interrupted", ExitCode::Interrupted, StoppedLine(report, wait)};
    }
    if (!report.succeeded) {
        return {"failed", ExitCode::DownloadFailed, FailedLine(report)};
    }
    return {"written", ExitCode::Success, "written"};
}

void AddUnitFacts(nlohmann::ordered_json& record, const UnitFacts& unit,
                  const IdentityValues& rows) {
    record["devicePath"] =
        unit.path.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(unit.path);
    record["deviceNumber"] =
        unit.number ? nlohmann::ordered_json(*unit.number) : nlohmann::ordered_json(nullptr);
    // Where the unit sits: its location, else its device path.
    const std::string& slot = unit.slot.empty() ? unit.path : unit.slot;
    record["slot"] = slot.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(slot);
    record["identity"] = IdentityJson(rows);
}

nlohmann::ordered_json FailureJson(const Failure& failure) {
    return {{"stage", StageName(failure.stage)},
            {"block", failure.block},
            {"cause", CauseName(failure.cause)}};
}

void AddDownloadFacts(nlohmann::ordered_json& record, const DownloadReport& report,
                      const StageTimes& times) {
    record["blocksSent"] = {{"cpu", report.cpuBlocksSent}, {"flash", report.flashBlocksSent}};
    record["cpuBlocksSkipped"] = report.cpuBlocksSkipped;
    record["commitSent"] = report.commitSent;
    nlohmann::ordered_json seconds;
    for (Stage stage :
         {Stage::Prepare, Stage::CpuBlocks, Stage::FlashBlocks, Stage::Commit, Stage::Wait}) {
        seconds[StageName(stage)] = times.Seconds(stage);
    }
    record["stageSeconds"] = seconds;
    record["failure"] = report.failure ? FailureJson(*report.failure) : nullptr;
}

nlohmann::ordered_json CloseRecord(const nlohmann::ordered_json& record, const LaneEnd& end,
                                   const nlohmann::ordered_json& message) {
    nlohmann::ordered_json closed{{"result", end.result}};
    closed.update(record);
    closed["message"] = message;
    closed["exitCode"] = static_cast<int>(end.code);
    return closed;
}

} // namespace knot::station
