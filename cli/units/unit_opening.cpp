// The single unit of a command, and what is said when it cannot be opened.
#include "unit_opening.h"

#include "interface_survey.h"
#include "json_output.h"
#include "unit_choice.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace knot::cli {
namespace {

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

UnitNotFound DescribeUnitNotFound(const UnitRun& run, const Failure& failure,
                                  std::optional<std::int32_t> number, DriverPort& machinePort) {
    const std::string unit = number ? "unit " + std::to_string(*number) : "the unit";
    switch (failure.cause) {
    case Cause::Busy:
        return {failure, unit + " is busy: another program is writing it", ExitCode::UnitBusy};
    case Cause::LockFailed:
        return {failure, unit + " cannot be locked for writing: " + run.LockProblem(),
                ExitCode::UnitBusy};
    case Cause::NoUnit:
        return {failure,
                run.AnyInterface() ? "no qualifying unit is attached"
                                   : NoInterfaceText(machinePort),
                ExitCode::NoUnit};
    case Cause::Interrupted:
        return {failure, "interrupted", ExitCode::Interrupted};
    default:
        return {failure, IdentityText(failure.cause), ExitCode::UnitRefused};
    }
}

ExitCode ReportUnitNotFound(const UnitNotFound& what, bool json) {
    if (json) {
        nlohmann::ordered_json out{{"result", CauseName(what.failure.cause)},
                                   {"error", what.text},
                                   {"exitCode", static_cast<int>(what.code)}};
        std::printf("%s\n", DumpLine(out).c_str());
    } else {
        std::fprintf(stderr, "knot-fdt: %s\n", what.text.c_str());
    }
    return what.code;
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
