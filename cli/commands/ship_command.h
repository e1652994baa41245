// knot-fdt ship: sends the records of a report written earlier into the line's database, the
// ones it lacks only; with --follow it goes on shipping what is appended until Ctrl-C.
#pragma once

#include "command.h"

#include <string>

namespace knot::cli {
class ShipCommand : public Command {
  public:
    const char* Name() const override { return "ship"; }
    CLI::App* Register(CLI::App& app) override;
    ExitCode Run(const DriverPortFactory& ports) override;

  private:
    std::string m_report;
    std::string m_database;
    bool m_bFollow = false;
};

} // namespace knot::cli
