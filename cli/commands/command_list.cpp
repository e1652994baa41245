#include "command.h"

#include "flash_command.h"
#include "info_command.h"
#include "initialize_command.h"
#include "inspect_command.h"
#include "list_command.h"
#include "ship_command.h"
#include "station_command.h"

namespace knot::cli {
std::vector<std::unique_ptr<Command>> MakeCommands() {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<InspectCommand>());
    commands.push_back(std::make_unique<ListCommand>());
    commands.push_back(std::make_unique<InfoCommand>());
    commands.push_back(std::make_unique<FlashCommand>());
    commands.push_back(std::make_unique<StationCommand>());
    commands.push_back(std::make_unique<InitializeCommand>());
    commands.push_back(std::make_unique<ShipCommand>());
    return commands;
}

} // namespace knot::cli
