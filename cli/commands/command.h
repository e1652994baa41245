// One command of knot-fdt: it declares its own sub-command, options and help, and runs when the
// command line names it. Every command lives in its own file and is listed in command_list.cpp.
#pragma once

#include "driver_port_factory.h"
#include "exit_codes.h"

#include <memory>
#include <vector>

namespace CLI {
class App;
}

namespace knot::cli {
using namespace knot::device;
using namespace knot::station;

class Command {
  public:
    virtual ~Command() = default;
    // The word that names the command on the command line.
    virtual const char* Name() const = 0;
    // Adds the sub-command with its options to `app` and returns it.
    virtual CLI::App* Register(CLI::App& app) = 0;
    // Runs the command after a successful parse; a command that talks to units makes its ports
    // with `ports`.
    virtual ExitCode Run(const DriverPortFactory& ports) = 0;
};

// Every command of the tool, in the order the help lists them.
std::vector<std::unique_ptr<Command>> MakeCommands();

} // namespace knot::cli
