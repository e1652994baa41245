// What a lane leaves behind: its record for --report and --json (the unit, what was sent, where
// it stopped) and the one line that says how it ended.
#pragma once

#include "commit_wait.h"
#include "download_report.h"
#include "exit_codes.h"
#include "logic_events.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace knot::cli {
using namespace knot::logic;

class DownloadProgress;

// How a lane ended: the record's result, the exit status and the operator's line.
struct LaneEnd {
    const char* result; // "written", "failed" or "interrupted": the failure says why
    ExitCode code;
    std::string line;
};

// The end of a download that ran: "written", where it failed, or where it was stopped
// (`stopped`: by Ctrl-C) and, after the commit, how long of `wait` the unit must stay plugged in.
LaneEnd DescribeDownloadEnd(const DownloadReport& report, bool stopped, const CommitWait& wait);

// The unit the record speaks of: its device path ("" for none) and number (none when it was
// neither opened nor chosen), and the identity rows it answered with.
void AddUnitFacts(nlohmann::ordered_json& record, const std::string& path,
                  std::optional<std::int32_t> number, const IdentityValues& rows);
// What the download did: the blocks sent and skipped, whether the commit was sent, the seconds
// of each stage and where it failed.
void AddDownloadFacts(nlohmann::ordered_json& record, const DownloadReport& report,
                      const DownloadProgress& progress);
// The finished record: the result first, then the fields `record` holds, the last message the
// logic showed in the run (null for none) and the exit status.
nlohmann::ordered_json CloseRecord(const nlohmann::ordered_json& record, const LaneEnd& end,
                                   const nlohmann::ordered_json& message);

} // namespace knot::cli
