// knot-fdt flash: loads an S-Record file once, then opens the chosen unit (or every chosen unit
// at once, one lane each), reads its identity and downloads the image, stepping the window's own
// download core.
#pragma once

#include "command.h"
#include "flash_setup.h"
#include "unit_choice.h"

#include <string>

namespace knot::cli {
class FlashCommand : public Command {
  public:
    const char* Name() const override { return "flash"; }
    CLI::App* Register(CLI::App& app) override;
    ExitCode Run(const DriverPortFactory& ports) override;

  private:
    // The one chosen unit (or the first qualifying one), with the window's texts.
    ExitCode RunOne(LaneSettings settings, const ChosenUnits& chosen);
    // One lane per chosen unit, all at once.
    ExitCode RunLanes(const LaneSettings& settings, const ChosenUnits& chosen);
    // Appends the lane's record to --report unless it was appended already; false (and said on
    // standard error) when it could not be.
    bool AppendRecord(Lane& lane);

    FlashSetup m_setup{RunOptionSet::Flash};
    bool m_bQuiet = false;
    UnitChoice m_choice;
};

} // namespace knot::cli
