// knot-fdt initialize: the Data > Initialize command of models that have it: asks the unit to
// initialize its setting data.
#pragma once

#include "command.h"
#include "unit_choice.h"

#include <string>

namespace knot::cli {
class InitializeCommand : public Command {
  public:
    const char* Name() const override { return "initialize"; }
    CLI::App* Register(CLI::App& app) override;
    ExitCode Run(const DriverPortFactory& ports) override;

  private:
    std::string m_model;
    bool m_bJson = false;
    UnitChoice m_choice;
};

} // namespace knot::cli
