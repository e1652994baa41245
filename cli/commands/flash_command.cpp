#include "flash_command.h"

#include "device_link.h"
#include "interrupt_flag.h"
#include "json_output.h"
#include "lane_printer.h"
#include "lane_runner.h"
#include "live_lines.h"
#include "operator_texts.h"
#include "terminal_output.h"
#include "transfer_log.h"
#include "unit_opening.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>

namespace knot::cli {
using namespace knot::device;
using namespace knot::logic;
using namespace knot::station;

namespace {

// How often the lines of several units are redrawn on a terminal (a lane that ends wakes the
// drawing at once).
constexpr std::chrono::milliseconds BOARD_REDRAW{100};

std::string UnitLabel(std::int32_t number) {
    return "unit " + std::to_string(number);
}

// The line after every lane ended: how many units were written.
void PrintSummary(const LaneTally& tally, std::size_t units, ExitCode code, bool json) {
    const auto written = static_cast<std::size_t>(tally.written);
    const auto failed = static_cast<std::size_t>(tally.failed + tally.interrupted);
    if (json) {
        nlohmann::ordered_json summary{{"summary", true},
                                       {"units", units},
                                       {"written", written},
                                       {"failed", failed},
                                       {"exitCode", static_cast<int>(code)}};
        std::printf("%s\n", DumpLine(summary).c_str());
    } else {
        std::printf("%zu unit%s: %zu written, %zu not written\n", units, units == 1 ? "" : "s",
                    written, failed);
    }
    std::fflush(stdout);
}

} // namespace

CLI::App* FlashCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        Name(), "Write an S-Record image into the attached unit as the transfer tool's Start "
                "does, or into several units at once (exit 0 written, 1 rejected, 2 file error, "
                "3 no unit, 4 no answer to the identity query, 5 download failed, 6 the unit is "
                "busy: another program writes it, 130 interrupted; with several units 5 when "
                "any of them did not end written). \"Written\" means every block was "
                "acknowledged, the commit was sent and its wait completed: the unit does not "
                "confirm its flash write, so a unit that refuses the commit cannot be noticed");
    m_setup.AddOptions(*command);
    m_choice.AddOptions(*command, true);
    command->add_flag("--json", m_setup.json,
                      "print one JSON object at the end instead of text (with several units: one "
                      "JSON line per unit as it ends, then a summary line)");
    command->add_flag("--quiet", m_bQuiet, "print only the result line");
    return command;
}

ExitCode FlashCommand::Run(const DriverPortFactory& ports) {
    WatchForInterrupt();
    // The image is loaded and checked once, before any unit is touched.
    if (ExitCode refused = m_setup.Load(); refused != ExitCode::Success) {
        return refused;
    }
    ChosenUnits chosen;
    if (m_choice.Named() || m_choice.Lanes()) {
        std::unique_ptr<DriverPort> port = ports();
        chosen = ChooseUnits(m_choice, *port);
        if (chosen.code != ExitCode::Success) {
            return m_setup.Refuse("no-unit", chosen.code, chosen.error);
        }
        if (!chosen.skipped.empty()) {
            std::fprintf(stderr, "knot-fdt: %s\n", chosen.skipped.c_str());
        }
    } else {
        // The window's rule, the first qualifying unit, looked up first: its lock is taken
        // before it is opened ("" when none qualifies: the lane says so).
        SingleUnit first = ChooseSingleUnit(m_choice, *ports(), m_setup.json, true);
        chosen.paths.push_back(first.path);
        chosen.numbers.push_back(first.number.value_or(UNKNOWN_DEVICE_NUMBER));
    }

    TransferLog log = TransferLog::AtPlatformPaths();
    LaneSettings settings = m_setup.Setup().Settings(log);
    settings.ports = ports;
    settings.stopRequested = Interrupted;
    return m_choice.Lanes() ? RunLanes(settings, chosen) : RunOne(settings, chosen);
}

ExitCode FlashCommand::RunOne(LaneSettings settings, const ChosenUnits& chosen) {
    const bool text = !m_setup.json && !m_bQuiet;
    settings.devicePath = chosen.paths.front();
    if (!settings.devicePath.empty()) {
        settings.deviceNumber = chosen.numbers.front();
    }
    std::optional<LanePrinter> printer;
    if (text) {
        printer.emplace(LanePrinting{stdout, IsTerminal(stdout), "", true, true},
                        settings.image->CountCpuBlocksToSend(), settings.image->FlashBlockCount(),
                        settings.wait);
        settings.listener = &*printer;
        std::printf("%s\n", LOAD_DONE_TEXT);
        std::fflush(stdout);
    }
    RunSetup& setup = m_setup.Setup();
    Lane lane(settings);
    LastWords words([&] {
        setup.SealReport();
        AppendRecord(lane);
        std::string line;
        lane.RecordNow(&line);
        std::fprintf(stderr, "knot-fdt: %s\n", line.c_str());
    });
    setup.LaneStarted();
    const auto start = std::chrono::steady_clock::now();
    ExitCode code = lane.Run();
    if (m_setup.json) {
        std::printf("%s\n", DumpIndented(lane.Record()).c_str());
    } else if (m_bQuiet) {
        std::fprintf(code == ExitCode::Success ? stdout : stderr, "%s\n",
                     lane.ResultLine().c_str());
    }
    std::fflush(stdout);
    if (!AppendRecord(lane) && code == ExitCode::Success) {
        code = ExitCode::FileError;
    }
    setup.LaneEnded(
        lane, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return code;
}

bool FlashCommand::AppendRecord(Lane& lane) {
    std::string why;
    if (m_setup.Setup().AppendReport(lane, why)) {
        return true;
    }
    FlashSetup::SayProblem("the record could not be appended to " + m_setup.Options().reportPath +
                           ": " + why);
    return false;
}

ExitCode FlashCommand::RunLanes(const LaneSettings& settings, const ChosenUnits& chosen) {
    const bool board = !m_setup.json && !m_bQuiet && IsTerminal(stdout);
    std::list<LanePrinter> printers; // each lane's, for as long as the lanes run
    LaneRunner runner(m_setup.Setup(), FlashSetup::SayProblem);
    LastWords words([&] {
        PrintSummary(runner.AppendUnfinished(), chosen.paths.size(), ExitCode::Interrupted,
                     m_setup.json);
    });
    for (std::size_t i = 0; i < chosen.paths.size(); ++i) {
        LaneSettings each = settings;
        each.devicePath = chosen.paths[i];
        each.deviceNumber = chosen.numbers[i];
        if (!m_setup.json && !m_bQuiet && !board) {
            LanePrinting printing{stdout, false, UnitLabel(chosen.numbers[i]) + ": ", false, true};
            each.listener = &printers.emplace_back(printing, each.image->CountCpuBlocksToSend(),
                                                   each.image->FlashBlockCount(), each.wait);
        }
        runner.Start(std::move(each), chosen.numbers[i]);
    }
    // Each lane's line as it ends; on a terminal above the lines of those still running, which
    // are redrawn until every lane ended.
    LiveBlock block(stdout);
    auto ended = [&](const RunningLane& entry) {
        if (m_setup.json) {
            std::printf("%s\n", DumpLine(entry.lane->Record()).c_str());
        } else if (board) {
            block.Print(UnitLabel(entry.number) + ": " + entry.lane->ResultLine());
        } else if (m_bQuiet) {
            std::printf("%s: %s\n", UnitLabel(entry.number).c_str(),
                        entry.lane->ResultLine().c_str());
        }
        std::fflush(stdout);
    };
    for (;;) {
        runner.Reap(ended);
        if (board) {
            block.Draw(DrawLiveLines(LooksOf(runner.Lanes()), "",
                                     TerminalSizeOf(stdout, DEFAULT_TERMINAL_SIZE)));
        }
        if (runner.Tally().running == 0) {
            break;
        }
        runner.WaitForAnEnd(BOARD_REDRAW);
    }
    const ExitCode code = runner.ExitStatus(ExitCode::DownloadFailed);
    PrintSummary(runner.Tally(), chosen.paths.size(), code, m_setup.json);
    return code;
}

} // namespace knot::cli
