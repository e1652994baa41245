// knot-fdt flash: loads an S-Record file once, then opens the chosen unit (or every chosen unit
// at once, one lane each), reads its identity and downloads the image, running the window's own
// download sequence step by step.
#pragma once

#include "command.h"
#include "unit_choice.h"

#include <string>

namespace CLI {
class Option;
}

class FlashLane;

class FlashCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override;
    ExitCode Run() override;

  private:
    ExitCode RunLanes(std::vector<std::unique_ptr<FlashLane>>& lanes,
                      const std::vector<std::int32_t>& numbers);
    bool AppendReport(const FlashLane& lane);

    std::string m_model;
    std::string m_path;
    std::string m_reportPath;
    bool m_bJson = false;
    bool m_bQuiet = false;
    bool m_bStrict = false;
    bool m_bAllowEmpty = false;
    long m_commitWaitMs = 0;
    CLI::Option* m_commitWaitOption = nullptr;
    UnitChoice m_choice;
};
