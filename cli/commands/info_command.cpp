#include "info_command.h"

#include "identity_text.h"
#include "interrupt_flag.h"
#include "json_output.h"
#include "model_option.h"
#include "operator_texts.h"
#include "transfer_log.h"
#include "unit_opening.h"
#include "unit_run.h"
#include "variant_profile.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>

namespace knot::cli {
using namespace knot::core;
using namespace knot::device;
using namespace knot::logic;
using namespace knot::station;

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
    const std::unique_ptr<DriverPort> machine = ports();
    SingleUnit unit = ChooseSingleUnit(m_choice, *machine, m_bJson);
    if (unit.code != ExitCode::Success) {
        return unit.code;
    }
    TransferLog log = TransferLog::AtPlatformPaths();
    UnitRunSettings settings;
    settings.devicePath = unit.path;
    settings.stopRequested = Interrupted;
    UnitRun run(ProfileForModel(m_model), *machine, log, m_quiet, std::move(settings));
    if (const std::optional<Failure> failure = run.Open()) {
        return Refuse(*failure, DescribeUnitNotFound(*failure, run, std::nullopt, *machine),
                      run.AnsweredRows());
    }
    const DeviceLink& link = run.Core().Link().Link();
    if (m_bJson) {
        nlohmann::ordered_json out;
        out["result"] = "ok";
        out["model"] = NormaliseModel(m_model);
        out["devicePath"] = run.OpenedPath();
        out["packetSize"] = link.packetSize;
        out["deviceNumber"] = link.deviceNumber;
        out["identity"] = IdentityJson(run.AnsweredRows());
        std::printf("%s\n", DumpIndented(out).c_str());
    } else {
        PrintIdentityRows(run.AnsweredRows());
    }
    std::fflush(stdout);
    return ExitCode::Success;
}

ExitCode InfoCommand::Refuse(const Failure& failure, const LaneEnd& end,
                             const IdentityValues& rows) const {
    // The rows that did answer are shown, as the window shows them.
    bool answered = false;
    for (const std::string& value : rows) {
        answered = answered || (!value.empty() && value != IDENTITY_PLACEHOLDER);
    }
    if (answered && !m_bJson) {
        PrintIdentityRows(rows);
        std::fflush(stdout);
    }
    if (!m_bJson || !answered) {
        return ReportUnitNotFound(failure, end, m_bJson);
    }
    nlohmann::ordered_json out{{"result", CauseName(failure.cause)}, {"error", end.line}};
    out["identity"] = IdentityJson(rows);
    out["exitCode"] = static_cast<int>(end.code);
    std::printf("%s\n", DumpLine(out).c_str());
    return end.code;
}

} // namespace knot::cli
