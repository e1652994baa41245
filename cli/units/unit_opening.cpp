// The single unit of a command, and what is said when it cannot be opened.
#include "unit_opening.h"

#include "interface_survey.h"
#include "json_output.h"
#include "unit_choice.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace knot::cli {
using namespace knot::device;
using namespace knot::station;

ExitCode ReportUnitNotFound(const Failure& failure, const LaneEnd& end, bool json) {
    if (json) {
        nlohmann::ordered_json out{{"result", CauseName(failure.cause)},
                                   {"error", end.line},
                                   {"exitCode", static_cast<int>(end.code)}};
        std::printf("%s\n", DumpLine(out).c_str());
    } else {
        std::fprintf(stderr, "knot-fdt: %s\n", end.line.c_str());
    }
    return end.code;
}

SingleUnit ChooseSingleUnit(const UnitChoice& choice, DriverPort& port, bool json,
                            bool forWriting) {
    SingleUnit single;
    if (!choice.Named() && !forWriting) {
        return single;
    }
    if (!choice.Named()) {
        // The unit the window's rule takes; when none qualifies, the opening says so.
        for (const UnitInterface& unit : SurveyUnits(port)) {
            if (unit.qualifies) {
                single.path = unit.path;
                single.number = unit.deviceNumber;
                break;
            }
        }
        return single;
    }
    ChosenUnits chosen = ChooseUnits(choice, port);
    if (chosen.code == ExitCode::Success) {
        single.path = chosen.paths.front();
        single.number = chosen.numbers.front();
        return single;
    }
    single.code = chosen.code;
    if (json) {
        nlohmann::ordered_json out{{"result", "no-unit"},
                                   {"error", chosen.error},
                                   {"exitCode", static_cast<int>(chosen.code)}};
        std::printf("%s\n", DumpLine(out).c_str());
    } else {
        std::fprintf(stderr, "knot-fdt: %s\n", chosen.error.c_str());
    }
    return single;
}

} // namespace knot::cli
