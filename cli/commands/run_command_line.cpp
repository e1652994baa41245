// knot-fdt's command line: the commands, their parse and the run of the one named, over the
// driver ports the caller hands in.
#include "run_command_line.h"

#include "command.h"
#include "exit_codes.h"
#include "knot_version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace knot::cli {
using namespace knot::station;

namespace {

// The number of single-character edits that turn `a` into `b`.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Parses the command line and runs the command it names; returns the exit status.
int ParseAndRun(int argc, char** argv, const DriverPortFactory& ports) {
    CLI::App app{"knot-fdt: inspect S-Record images for KNOT units and write them into the units",
                 "knot-fdt"};
    app.require_subcommand(1);
    app.set_version_flag("-V,--version", "knot-fdt " KNOT_VERSION_TEXT);
    // A usage error says which program speaks, as every other message does.
    app.failure_message([](const CLI::App* failed, const CLI::Error& error) {
        return "knot-fdt: " + CLI::FailureMessage::simple(failed, error);
    });

    std::vector<std::unique_ptr<Command>> commands = MakeCommands();
    // A first word that names a command registers that command alone: the others' options took
    // more of each start than reading a small image does, and scripts start knot-fdt often.
    // Help, version and a word that names no command see every command.
    if (argc > 1) {
        auto named = std::find_if(commands.begin(), commands.end(), [&](const auto& command) {
            return std::string_view(argv[1]) == command->Name();
        });
        if (named != commands.end()) {
            std::unique_ptr<Command> command = std::move(*named);
            commands.clear();
            commands.push_back(std::move(command));
        }
    }
    std::vector<CLI::App*> subcommands;
    for (auto& command : commands) {
        subcommands.push_back(command->Register(app));
    }

    // A first word that names no command: say so, and which command comes nearest.
    if (argc > 1 && argv[1][0] != '-') {
        const std::string word = argv[1];
        const CLI::App* nearest = nullptr;
        std::size_t best = 0;
        for (const CLI::App* subcommand : subcommands) {
            std::size_t distance = EditDistance(word, subcommand->get_name());
            if (subcommand->get_name() == word) {
                nearest = nullptr;
                best = 0;
                break;
            }
            if (nearest == nullptr || distance < best) {
                nearest = subcommand;
                best = distance;
            }
        }
        if (nearest != nullptr) {
            std::fprintf(stderr,
                         "knot-fdt: unknown command \"%s\"; did you mean \"%s\"? "
                         "(knot-fdt --help lists the commands)\n",
                         word.c_str(), nearest->get_name().c_str());
            return static_cast<int>(ExitCode::UsageError);
        }
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
            return static_cast<int>(commands[i]->Run(ports));
        }
    }
    std::fprintf(stderr, "knot-fdt: no command given\n");
    return static_cast<int>(ExitCode::UsageError);
}

} // namespace

int RunCommandLine(int argc, char** argv, const DriverPortFactory& ports) {
    // No argument and no answer ends the program by a signal: what a library throws at us is
    // said and ends it with its own status.
    try {
        return ParseAndRun(argc, argv, ports);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "knot-fdt: internal error: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "knot-fdt: internal error\n");
    }
    std::fflush(stdout);
    return static_cast<int>(ExitCode::InternalError);
}

} // namespace knot::cli
