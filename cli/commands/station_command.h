// knot-fdt station: loads an S-Record file once, then writes it into every qualifying unit as it
// is plugged in, each unit in its own lane, until Ctrl-C. A unit is written once per plug: one
// that stays plugged after its run is left alone until it is unplugged and plugged back.
#pragma once

#include "command.h"
#include "flash_setup.h"

namespace knot::cli {
class StationCommand : public Command {
  public:
    const char* Name() const override { return "station"; }
    CLI::App* Register(CLI::App& app) override;
    ExitCode Run(const DriverPortFactory& ports) override;

  private:
    FlashSetup m_setup{RunOptionSet::Station};
};

} // namespace knot::cli
