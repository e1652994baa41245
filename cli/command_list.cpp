#include "command.h"

#include "inspect_command.h"

std::vector<std::unique_ptr<Command>> MakeCommands() {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<InspectCommand>());
    return commands;
}
