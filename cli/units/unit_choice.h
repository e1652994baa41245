// Which unit a command talks to: the --unit / --path / --all options, held against the survey of
// the present interfaces, which judges each one as the window's unit selection does. A command
// then runs the window's logic over a ChosenUnitPort, which shows the chosen interface only.
#pragma once

#include "exit_codes.h"
#include "interface_survey.h"

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace knot::cli {
using namespace knot::device;
using namespace knot::station;

// The --unit, --path and --all options of a unit command.
struct UnitChoice {
    std::vector<int> numbers; // --unit N, by device number (repeatable where `many`)
    std::string path;         // --path PATH
    bool all = false;         // --all

    void AddOptions(CLI::App& command, bool severalUnits);
    // Whether one lane per unit is wanted (--all, or --unit given more than once).
    bool Lanes() const { return all || numbers.size() > 1; }
    // Whether a unit was named; without one the first qualifying unit is taken.
    bool Named() const { return !numbers.empty() || !path.empty(); }
};

// The device paths of the chosen units, each qualifying. On failure returns the exit status
// and sets `error` to the operator's text.
struct ChosenUnits {
    std::vector<std::string> paths;
    std::vector<std::int32_t> numbers; // each path's device number
    ExitCode code = ExitCode::Success;
    std::string error;
    std::string skipped; // --all: the interfaces passed over and why; "" when none was
};
ChosenUnits ChooseUnits(const UnitChoice& choice, DriverPort& port);

} // namespace knot::cli
