// knot-fdt list: every present interface of the units' class, with what the unit selection sees
// of it: path, ids, whether it qualifies, its packet size and device number.
#pragma once

#include "command.h"

namespace knot::cli {
class ListCommand : public Command {
  public:
    const char* Name() const override { return "list"; }
    CLI::App* Register(CLI::App& app) override;
    ExitCode Run(const DriverPortFactory& ports) override;

  private:
    bool m_bJson = false;
};

} // namespace knot::cli
