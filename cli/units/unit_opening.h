// Which single unit a command talks to, and how knot-fdt says that a unit could not be locked,
// opened or read.
#pragma once

#include "exit_codes.h"

#include "failure.h"
#include "lane_record.h"

#include <cstdint>
#include <optional>
#include <string>

namespace knot::cli {
using namespace knot::logic;
using namespace knot::station;

struct UnitChoice;

// The device path a single-unit command talks to ("" for the first qualifying unit) and its
// number on `port`, or the exit status after the reason was printed (as JSON with `json`).
// `forWriting`: without a unit named, the first qualifying unit is looked up, so that its lock can
// be taken before it is opened.
struct SingleUnit {
    std::string path;
    std::optional<std::int32_t> number;
    ExitCode code = ExitCode::Success;
};
SingleUnit ChooseSingleUnit(const UnitChoice& choice, DriverPort& port, bool json,
                            bool forWriting = false);

// Prints why a unit could not be opened and read (or a JSON object with it); its exit status.
ExitCode ReportUnitNotFound(const Failure& failure, const LaneEnd& end, bool json);

} // namespace knot::cli
