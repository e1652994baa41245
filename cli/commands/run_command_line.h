// knot-fdt's command line, parsed and run: the program's exit status. Every unit command makes
// its driver ports with `ports`.
#pragma once

#include "driver_port_factory.h"

namespace knot::cli {
using namespace knot::device;

int RunCommandLine(int argc, char** argv, const DriverPortFactory& ports);

} // namespace knot::cli
