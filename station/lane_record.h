// What a lane leaves behind: its record for --report and --json (the unit, what was sent, where
// it stopped) and the one line that says how it ended.
#pragma once

#include "commit_wait.h"
#include "download_report.h"
#include "exit_codes.h"
#include "logic_events.h"

#include "driver_port.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace knot::logic {
class UnitRun;
} // namespace knot::logic

namespace knot::station {
using namespace knot::device;
using namespace knot::logic;

class StageTimes;

// How a lane ended: the record's result, the exit status and the operator's line.
struct LaneEnd {
    const char* result; // "written", "failed" or "interrupted": the failure says why
    ExitCode code;
    std::string line;
};

// The end of a download that ran: "written", where it failed, or where it was stopped
// (`stopped`: by Ctrl-C) and, after the commit, how long of `wait` the unit must stay plugged in.
LaneEnd DescribeDownloadEnd(const DownloadReport& report, bool stopped, const CommitWait& wait);

// The unit a record speaks of: its device path ("" for none), its number (none when it was
// neither opened nor chosen) and where it sits ("": its device path).
struct UnitFacts {
    std::string path;
    std::optional<std::int32_t> number;
    std::string slot;
};
// The unit and the identity rows it answered with.
void AddUnitFacts(nlohmann::ordered_json& record, const UnitFacts& unit,
                  const IdentityValues& rows);
// A failure as records give it: {"stage", "block", "cause"}.
nlohmann::ordered_json FailureJson(const Failure& failure);

// `value` with every byte outside printable ASCII shown as '?'.
std::string PrintableIdentity(const std::string& value);
// The three identity rows as a JSON object keyed by label.
nlohmann::ordered_json IdentityJson(const IdentityValues& values);

// The text for "no unit interface is present at all", with what `port` says of the absence (on
// Linux: where the simulator was looked for and how to start one).
std::string NoInterfaceText(DriverPort& port);
// A unit that could not be locked, opened or read (`failure` as UnitRun::Open gave it for
// `run` over `machinePort`; `number`: the chosen unit's): how its lane ends, in the operator's
// words.
LaneEnd DescribeUnitNotFound(const Failure& failure, const UnitRun& run,
                             std::optional<std::int32_t> number, DriverPort& machinePort);
// What the download did: the blocks sent and skipped, whether the commit was sent, the seconds
// of each stage and where it failed.
void AddDownloadFacts(nlohmann::ordered_json& record, const DownloadReport& report,
                      const StageTimes& times);
// The finished record: the result first, then the fields `record` holds, the last message the
// logic showed in the run (null for none) and the exit status.
nlohmann::ordered_json CloseRecord(const nlohmann::ordered_json& record, const LaneEnd& end,
                                   const nlohmann::ordered_json& message);

} // namespace knot::station
