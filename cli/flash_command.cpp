#include "flash_command.h"

#include "download_progress.h"
#include "flash_lane.h"
#include "host_facts.h"
#include "interrupt_flag.h"
#include "operator_texts.h"
#include "transfer_log.h"
#include "unit_driver_port.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// How often the lines of several units are redrawn on a terminal.
constexpr std::chrono::milliseconds BOARD_REDRAW{100};
constexpr int BOARD_BAR_WIDTH = 20;

std::string UnitLabel(std::int32_t number) {
    return "unit " + std::to_string(number);
}

// One unit's line on a terminal: its label, stage and a short bar, or how it ended.
void DrawBoardLine(std::int32_t number, FlashLane& lane) {
    const LaneStatus& status = lane.Status();
    std::string label = UnitLabel(number);
    if (status.ended) {
        std::printf("\r\x1b[K%-8s %s\n", label.c_str(), lane.ResultLine().c_str());
        return;
    }
    auto stage = static_cast<DownloadStage>(status.stage.load());
    long total = status.total;
    long done = std::min(status.done.load(), total);
    if (stage == DownloadStage::Idle) {
        std::printf("\r\x1b[K%-8s opening\n", label.c_str());
        return;
    }
    int filled = total > 0 ? static_cast<int>(done * BOARD_BAR_WIDTH / total) : 0;
    std::printf("\r\x1b[K%-8s %-7s [%.*s%.*s] %ld/%ld\n", label.c_str(), StageName(stage), filled,
                "####################", BOARD_BAR_WIDTH - filled, "....................", done,
                total);
}

} // namespace

CLI::App* FlashCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        "flash", "Write an S-Record image into the attached unit as the transfer tool's Start "
                 "does, or into several units at once (exit 0 written, 1 rejected, 2 file error, "
                 "3 no unit, 4 no answer to the identity query, 5 download failed, 130 "
                 "interrupted; with several units 5 when any of them did not end written)");
    m_setup.AddOptions(*command);
    m_choice.AddOptions(*command, true);
    command->add_flag("--json", m_setup.json,
                      "print one JSON object at the end instead of text (with several units: one "
                      "JSON line per unit as it ends, then a summary line)");
    command->add_flag("--quiet", m_bQuiet, "print only the result line");
    return command;
}

ExitCode FlashCommand::Run() {
    WatchForInterrupt();
    // The image is loaded and checked once, before any unit is touched.
    if (ExitCode refused = m_setup.Load(); refused != ExitCode::Success) {
        return refused;
    }
    ChosenUnits chosen;
    if (m_choice.Named() || m_choice.Lanes()) {
        std::unique_ptr<DriverPort> port = CreateUnitDriverPort();
        chosen = ChooseUnits(m_choice, *port);
        if (chosen.code != ExitCode::Success) {
            return m_setup.Refuse("no-unit", chosen.code, chosen.error);
        }
    } else {
        chosen.paths.push_back(""); // the window's rule: the first qualifying unit
        chosen.numbers.push_back(0);
    }

    TransferLog log = TransferLog::AtPlatformPaths();
    LaneSettings settings = m_setup.Settings(log);

    if (!m_choice.Lanes()) {
        const bool text = !m_setup.json && !m_bQuiet;
        settings.devicePath = chosen.paths.front();
        if (m_choice.Named()) {
            settings.deviceNumber = chosen.numbers.front();
        }
        settings.stageLines = text ? stdout : nullptr;
        settings.bar = text && IsTerminal(stdout);
        settings.printIdentity = text;
        settings.printMessages = text;
        if (text) {
            std::printf("%s\n", LOAD_DONE_TEXT);
            std::fflush(stdout);
        }
        FlashLane lane(settings);
        ExitCode code = lane.Run();
        if (m_setup.json) {
            std::printf("%s\n",
                        lane.Record()
                            .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                            .c_str());
        } else if (m_bQuiet) {
            std::fprintf(code == ExitCode::Success ? stdout : stderr, "%s\n",
                         lane.ResultLine().c_str());
        }
        std::fflush(stdout);
        if (!m_setup.AppendReport(lane) && code == ExitCode::Success) {
            code = ExitCode::FileError;
        }
        return code;
    }

    std::vector<std::unique_ptr<FlashLane>> lanes;
    const bool board = !m_setup.json && !m_bQuiet && IsTerminal(stdout);
    for (std::size_t i = 0; i < chosen.paths.size(); ++i) {
        LaneSettings each = settings;
        each.devicePath = chosen.paths[i];
        each.deviceNumber = chosen.numbers[i];
        each.prefix = UnitLabel(chosen.numbers[i]) + ": ";
        const bool events = !m_setup.json && !m_bQuiet && !board;
        each.stageLines = events ? stdout : nullptr;
        each.printMessages = events;
        lanes.push_back(std::make_unique<FlashLane>(std::move(each)));
    }
    return RunLanes(lanes, chosen.numbers);
}

ExitCode FlashCommand::RunLanes(std::vector<std::unique_ptr<FlashLane>>& lanes,
                                const std::vector<std::int32_t>& numbers) {
    const bool board = !m_setup.json && !m_bQuiet && IsTerminal(stdout);
    std::mutex printing;
    std::vector<ExitCode> codes(lanes.size(), ExitCode::Success);
    // One element per lane, each written by its own thread only (not vector<bool>: packed bits).
    std::vector<char> recorded(lanes.size(), 1);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < lanes.size(); ++i) {
        threads.emplace_back([&, i] {
            codes[i] = lanes[i]->Run();
            recorded[i] = m_setup.AppendReport(*lanes[i]) ? 1 : 0;
            if (m_setup.json) {
                std::lock_guard lock(printing);
                std::printf("%s\n", DumpLine(lanes[i]->Record()).c_str());
                std::fflush(stdout);
            } else if (m_bQuiet) {
                std::lock_guard lock(printing);
                std::printf("%s: %s\n", UnitLabel(numbers[i]).c_str(),
                            lanes[i]->ResultLine().c_str());
                std::fflush(stdout);
            }
        });
    }
    if (board) {
        auto allEnded = [&] {
            for (auto& lane : lanes) {
                if (!lane->Status().ended) {
                    return false;
                }
            }
            return true;
        };
        bool first = true;
        for (;;) {
            bool ended = allEnded();
            if (!first) {
                std::printf("\x1b[%zuA", lanes.size()); // back to the first unit's line
            }
            first = false;
            for (std::size_t i = 0; i < lanes.size(); ++i) {
                DrawBoardLine(numbers[i], *lanes[i]);
            }
            std::fflush(stdout);
            if (ended) {
                break;
            }
            std::this_thread::sleep_for(BOARD_REDRAW);
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    std::size_t written = 0;
    std::size_t failed = 0;
    bool interrupted = false;
    bool allRecorded = true;
    for (std::size_t i = 0; i < lanes.size(); ++i) {
        written += codes[i] == ExitCode::Success;
        failed += codes[i] != ExitCode::Success;
        interrupted = interrupted || codes[i] == ExitCode::Interrupted;
        allRecorded = allRecorded && recorded[i] != 0;
    }
    ExitCode code = interrupted    ? ExitCode::Interrupted
                    : failed > 0   ? ExitCode::DownloadFailed
                    : !allRecorded ? ExitCode::FileError
                                   : ExitCode::Success;
    if (m_setup.json) {
        nlohmann::ordered_json summary{{"summary", true},
                                       {"units", lanes.size()},
                                       {"written", written},
                                       {"failed", failed},
                                       {"exitCode", static_cast<int>(code)}};
        std::printf("%s\n", DumpLine(summary).c_str());
    } else {
        std::printf("%zu unit%s: %zu written, %zu not written\n", lanes.size(),
                    lanes.size() == 1 ? "" : "s", written, failed);
    }
    std::fflush(stdout);
    return code;
}
