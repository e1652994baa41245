// knot-fdt flash: loads an S-Record file once, then opens the chosen unit (or every chosen unit
// at once, one lane each), reads its identity and downloads the image, running the window's own
// download sequence step by step.
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

    FlashSetup m_setup;
    bool m_bQuiet = false;
    UnitChoice m_choice;
};

} // namespace knot::cli
