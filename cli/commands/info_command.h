// knot-fdt info: opens the unit as the window does and prints its three identity rows.
#pragma once

#include "command.h"
#include "unit_choice.h"
#include "unit_opening.h"

#include <string>

namespace knot::cli {
class InfoCommand : public Command {
  public:
    const char* Name() const override { return "info"; }
    CLI::App* Register(CLI::App& app) override;
    ExitCode Run(const DriverPortFactory& ports) override;

  private:
    // Says why the unit could not be read, with the rows that did answer; the exit status.
    ExitCode Refuse(const Failure& failure, const LaneEnd& end, const IdentityValues& rows) const;

    std::string m_model;
    bool m_bJson = false;
    UnitChoice m_choice;
    IgnoredEvents m_quiet;
};

} // namespace knot::cli
