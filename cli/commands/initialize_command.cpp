#include "initialize_command.h"

#include "interrupt_flag.h"
#include "json_output.h"
#include "model_option.h"
#include "operator_texts.h"
#include "transfer_log.h"
#include "unit_opening.h"
#include "unit_run.h"
#include "variant_profile.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace knot::cli {
using namespace knot::core;
using namespace knot::device;
using namespace knot::logic;
using namespace knot::station;

CLI::App* InitializeCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        Name(),
        "Ask the attached unit to initialize its setting data, as Data > Initialize "
        "does (model p only; exit 0 done, 3 no unit, 4 refused or no answer, 6 the unit is busy: "
        "another program writes it)");
    AddModelOption(*command, m_model);
    m_choice.AddOptions(*command, false);
    command->add_flag("--json", m_bJson, "print one JSON object instead of text");
    return command;
}

ExitCode InitializeCommand::Run(const DriverPortFactory& ports) {
    const VariantProfile& profile = ProfileForModel(m_model);
    if (!profile.hasInitializeCommand) {
        std::fprintf(stderr, "knot-fdt: initialize: model %s (%s) has no initialize command\n",
                     NormaliseModel(m_model).c_str(), profile.modelName);
        return ExitCode::UsageError;
    }
    WatchForInterrupt();
    const std::unique_ptr<DriverPort> machine = ports();
    SingleUnit unit = ChooseSingleUnit(m_choice, *machine, m_bJson, true);
    if (unit.code != ExitCode::Success) {
        return unit.code;
    }
    TransferLog log = TransferLog::AtPlatformPaths();
    UnitRunSettings settings;
    settings.devicePath = unit.path;
    settings.forWriting = true;
    settings.stopRequested = Interrupted;
    IgnoredEvents quiet;
    UnitRun run(profile, *machine, log, quiet, std::move(settings));
    if (const std::optional<Failure> failure = run.Open()) {
        return ReportUnitNotFound(
            *failure, DescribeUnitNotFound(*failure, run, unit.number, *machine), m_bJson);
    }
    const bool acknowledged = run.Initialize() == Exchange::Accepted;
    // The closing message the window shows.
    const char* text = acknowledged ? INITIALIZE_DONE_TEXT : INITIALIZE_FAILED_TEXT;
    const ExitCode code = acknowledged ? ExitCode::Success : ExitCode::UnitRefused;
    if (m_bJson) {
        const nlohmann::ordered_json out{{"result", acknowledged ? "ok" : "failed"},
                                         {"message", text},
                                         {"exitCode", static_cast<int>(code)}};
        std::printf("%s\n", DumpLine(out).c_str());
    } else {
        std::fprintf(acknowledged ? stdout : stderr, "%s\n", text);
    }
    return code;
}

} // namespace knot::cli
