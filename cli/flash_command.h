// knot-fdt flash: loads an S-Record file once, then opens the chosen unit (or every chosen unit
// at once, one lane each), reads its identity and downloads the image, running the window's own
// download sequence step by step.
#pragma once

#include "command.h"
#include "flash_setup.h"
#include "unit_choice.h"

#include <string>

class FlashLane;

class FlashCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override;
    ExitCode Run() override;

  private:
    ExitCode RunLanes(std::vector<std::unique_ptr<FlashLane>>& lanes,
                      const std::vector<std::int32_t>& numbers);

    FlashSetup m_setup;
    bool m_bQuiet = false;
    UnitChoice m_choice;
};
