#include "list_command.h"

#include "lane_record.h"

#include "json_output.h"
#include "unit_choice.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace knot::cli {
using namespace knot::station;

namespace {

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", unsigned{value});
    return text;
}

} // namespace

CLI::App* ListCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        Name(), "List every present unit interface: its device number (which --unit takes), "
                "packet size, vendor and product id, whether it qualifies and its device path "
                "(--json adds its index in the device search)");
    command->add_flag("--json", m_bJson, "print one JSON array instead of text");
    return command;
}

ExitCode ListCommand::Run(const DriverPortFactory& ports) {
    std::unique_ptr<DriverPort> port = ports();
    std::vector<UnitInterface> found = SurveyUnits(*port);

    if (m_bJson) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const UnitInterface& info : found) {
            nlohmann::ordered_json item;
            item["index"] = info.index;
            item["deviceNumber"] = info.deviceNumber;
            item["devicePath"] = info.path;
            item["packetSize"] = info.packetSize;
            item["vendorId"] = info.hasDescriptor ? nlohmann::ordered_json(Hex4(info.vendorId))
                                                  : nlohmann::ordered_json(nullptr);
            item["productId"] = info.hasDescriptor ? nlohmann::ordered_json(Hex4(info.productId))
                                                   : nlohmann::ordered_json(nullptr);
            item["qualifies"] = info.qualifies;
            std::string why = WhyNotQualifying(info);
            item["reason"] =
                why.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(why);
            out.push_back(std::move(item));
        }
        std::printf("%s\n", DumpIndented(out).c_str());
        return ExitCode::Success;
    }
    if (found.empty()) {
        std::printf("%s\n", NoInterfaceText(*port).c_str());
        return ExitCode::Success;
    }
    std::printf("%-6s %-6s %-6s %-7s %-35s %s\n", "number", "packet", "vendor", "product",
                "qualifies", "device path");
    for (const UnitInterface& info : found) {
        std::string why = WhyNotQualifying(info);
        std::string qualifies = why.empty() ? "yes" : "no: " + why;
        const std::string number =
            info.deviceNumber >= 0 ? std::to_string(info.deviceNumber) : std::string("?");
        std::printf("%-6s %-6d %-6s %-7s %-35s %s\n", number.c_str(),
                    static_cast<int>(info.packetSize),
                    info.hasDescriptor ? Hex4(info.vendorId).c_str() : "?",
                    info.hasDescriptor ? Hex4(info.productId).c_str() : "?", qualifies.c_str(),
                    info.path.c_str());
    }
    return ExitCode::Success;
}

} // namespace knot::cli
