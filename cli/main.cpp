// knot-fdt: the transfer tool's operations from the command line, one sub-command each.
#include "command.h"
#include "exit_codes.h"

#include <CLI/CLI.hpp>

#include <cstdio>

int main(int argc, char** argv) {
    CLI::App app{"knot-fdt: inspect S-Record images for KNOT units and write them into the units",
                 "knot-fdt"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "knot-fdt 1.1.0");

    std::vector<std::unique_ptr<Command>> commands = MakeCommands();
    std::vector<CLI::App*> subcommands;
    for (auto& command : commands) {
        subcommands.push_back(command->Register(app));
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help and version end the run successfully; every other parse error is a usage error.
        int shown = app.exit(error);
        return shown == 0 ? 0 : static_cast<int>(ExitCode::UsageError);
    }
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (subcommands[i]->parsed()) {
            return static_cast<int>(commands[i]->Run());
        }
    }
    std::fprintf(stderr, "knot-fdt: no command given\n");
    return static_cast<int>(ExitCode::UsageError);
}
