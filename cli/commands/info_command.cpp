#include "info_command.h"

#include "identity_text.h"
#include "interrupt_flag.h"
#include "json_output.h"
#include "model_option.h"
#include "operator_texts.h"
#include "unit_session_runner.h"
#include "variant_profile.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>

namespace knot::cli {
using namespace knot::core;
using namespace knot::logic;

CLI::App* InfoCommand::Register(CLI::App& app) {
    CLI::App* command =
        app.add_subcommand(Name(), "Open the attached unit (or the one chosen) as the transfer "
                                   "tool does and print its program name, "
                                   "version and checksum (exit 3 no unit, 4 no answer)");
    AddModelOption(*command, m_model);
    m_choice.AddOptions(*command, false);
    command->add_flag("--json", m_bJson, "print one JSON object instead of text");
    return command;
}

ExitCode InfoCommand::Run(const DriverPortFactory& ports) {
    WatchForInterrupt();
    SingleUnit unit = ChooseSingleUnit(m_choice, *ports(), m_bJson);
    if (unit.code != ExitCode::Success) {
        return unit.code;
    }
    UnitSessionRunner runner(ports, ProfileForModel(m_model), unit.path);
    UnitSessionRunner::Found found = runner.OpenUnit();
    if (found != UnitSessionRunner::Found::Ready) {
        // The rows that did answer are shown, as the window shows them.
        bool answered = false;
        for (const std::string& value : runner.AnsweredRows()) {
            answered = answered || (!value.empty() && value != IDENTITY_PLACEHOLDER);
        }
        if (answered && !m_bJson) {
            PrintIdentityRows(runner.AnsweredRows());
            std::fflush(stdout);
        }
        if (!m_bJson || !answered) {
            return ReportUnitNotFound(runner, found, m_bJson);
        }
        UnitNotFound what = DescribeUnitNotFound(runner, found);
        nlohmann::ordered_json out{{"result", what.cause}, {"error", what.text}};
        out["identity"] = IdentityJson(runner.AnsweredRows());
        out["exitCode"] = static_cast<int>(what.code);
        std::printf("%s\n", DumpLine(out).c_str());
        return what.code;
    }
    const DeviceLink& link = runner.controller().Link();
    if (m_bJson) {
        nlohmann::ordered_json out;
        out["result"] = "ok";
        out["model"] = NormaliseModel(m_model);
        out["devicePath"] = runner.controller().Session().DevicePath();
        out["packetSize"] = link.packetSize;
        out["deviceNumber"] = link.deviceNumber;
        out["identity"] = IdentityJson(runner.AnsweredRows());
        std::printf("%s\n", DumpIndented(out).c_str());
    } else {
        PrintIdentityRows(runner.AnsweredRows());
    }
    std::fflush(stdout);
    return ExitCode::Success;
}

} // namespace knot::cli
