// Choosing units from a survey of the interfaces: the --unit / --path / --all options.
#include "unit_choice.h"

#include "lane_record.h"

#include <CLI/CLI.hpp>

namespace knot::cli {
using namespace knot::station;

namespace {

// "1 of 4 unit interfaces does not qualify and is skipped: unit 3: foreign product id 0x1111".
std::string SkippedText(const std::vector<const UnitInterface*>& skipped, std::size_t present) {
    const bool one = skipped.size() == 1;
    std::string text = std::to_string(skipped.size()) + " of " + std::to_string(present) +
                       " unit interfaces " + (one ? "does" : "do") + " not qualify and " +
                       (one ? "is" : "are") + " skipped: ";
    for (std::size_t i = 0; i < skipped.size(); ++i) {
        const UnitInterface& unit = *skipped[i];
        text += i > 0 ? "; " : "";
        text += unit.deviceNumber >= 0 ? "unit " + std::to_string(unit.deviceNumber)
                                       : "the interface at " + unit.path;
        text += ": " + WhyNotQualifying(unit);
    }
    return text;
}

} // namespace

void UnitChoice::AddOptions(CLI::App& command, bool severalUnits) {
    CLI::Option* unit = command.add_option(
        "--unit", numbers,
        severalUnits ? "the unit with this device number (see list); give it again to flash "
                       "several units at once"
                     : "the unit with this device number (see list)");
    if (!severalUnits) {
        unit->expected(1);
    }
    CLI::Option* pathOption =
        command.add_option("--path", path, "the unit at this device path (see list)");
    pathOption->excludes(unit);
    if (severalUnits) {
        CLI::Option* allOption =
            command.add_flag("--all", all, "flash every qualifying unit at once, one lane each");
        allOption->excludes(unit)->excludes(pathOption);
    }
}

ChosenUnits ChooseUnits(const UnitChoice& choice, DriverPort& port) {
    ChosenUnits chosen;
    std::vector<UnitInterface> units = SurveyUnits(port);
    if (units.empty()) {
        chosen.code = ExitCode::NoUnit;
        chosen.error = NoInterfaceText(port);
        return chosen;
    }
    auto take = [&](const UnitInterface& unit) {
        std::string why = WhyNotQualifying(unit);
        if (!why.empty()) {
            chosen.code = ExitCode::NoUnit;
            chosen.error = "the unit at " + unit.path + " does not qualify: " + why;
            return false;
        }
        chosen.paths.push_back(unit.path);
        chosen.numbers.push_back(unit.deviceNumber);
        return true;
    };
    if (!choice.path.empty()) {
        for (const UnitInterface& unit : units) {
            if (unit.path == choice.path) {
                take(unit);
                return chosen;
            }
        }
        chosen.code = ExitCode::NoUnit;
        chosen.error = "no unit interface has the path " + choice.path + " (see knot-fdt list)";
        return chosen;
    }
    for (int number : choice.numbers) {
        const UnitInterface* found = nullptr;
        for (const UnitInterface& unit : units) {
            if (unit.deviceNumber == number) {
                found = &unit;
                break;
            }
        }
        if (found == nullptr) {
            chosen.code = ExitCode::NoUnit;
            chosen.error = "no unit with device number " + std::to_string(number) +
                           " is attached (see knot-fdt list)";
            chosen.paths.clear();
            chosen.numbers.clear();
            return chosen;
        }
        for (const std::string& path : chosen.paths) {
            if (path == found->path) {
                found = nullptr; // named twice: one lane
                break;
            }
        }
        if (found != nullptr && !take(*found)) {
            chosen.paths.clear();
            chosen.numbers.clear();
            return chosen;
        }
    }
    if (choice.all) {
        std::vector<const UnitInterface*> skipped;
        for (const UnitInterface& unit : units) {
            if (unit.qualifies) {
                chosen.paths.push_back(unit.path);
                chosen.numbers.push_back(unit.deviceNumber);
            } else {
                skipped.push_back(&unit);
            }
        }
        if (!skipped.empty()) {
            chosen.skipped = SkippedText(skipped, units.size());
        }
        if (chosen.paths.empty()) {
            chosen.code = ExitCode::NoUnit;
            chosen.error = "no qualifying unit is attached: " + chosen.skipped;
        }
    }
    return chosen;
}

} // namespace knot::cli
