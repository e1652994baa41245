// Which single unit a command talks to, and what knot-fdt says when a unit could not be locked,
// opened or read: the operator's text, the exit status and the failure its record names.
#pragma once

#include "exit_codes.h"

#include "failure.h"
#include "unit_run.h"

#include <cstdint>
#include <optional>
#include <string>

namespace knot::cli {
using namespace knot::logic;

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

// A unit that could not be opened and read: where and why, the operator's text and the exit
// status.
struct UnitNotFound {
    Failure failure;
    std::string text;
    ExitCode code;
};
// `failure` as UnitRun::Open gave it for `run` over `machinePort`; `number`: the chosen unit's.
UnitNotFound DescribeUnitNotFound(const UnitRun& run, const Failure& failure,
                                  std::optional<std::int32_t> number, DriverPort& machinePort);
// Prints that text (or a JSON object with it) and returns the exit status.
ExitCode ReportUnitNotFound(const UnitNotFound& what, bool json);

} // namespace knot::cli
