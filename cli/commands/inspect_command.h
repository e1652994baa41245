// knot-fdt inspect: loads an S-Record file as the programs do and reports what a download would
// send, or why the file was refused.
#pragma once

#include "command.h"

#include <string>

namespace knot::cli {
class InspectCommand : public Command {
  public:
    const char* Name() const override { return "inspect"; }
    CLI::App* Register(CLI::App& app) override;
    ExitCode Run(const DriverPortFactory& ports) override;

  private:
    std::string m_model;
    std::string m_path;
    bool m_bJson = false;
    bool m_bDump = false;
};

} // namespace knot::cli
