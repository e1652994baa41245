// The station: a watch on the present interfaces at the arrival poller's pace, one lane per
// arrival, a line per ended run and a running tally.
#include "station_command.h"

#include "image_input.h"
#include "interrupt_flag.h"
#include "json_output.h"
#include "lane_printer.h"
#include "lane_runner.h"
#include "live_lines.h"
#include "logic_services.h"
#include "station.h"
#include "terminal_output.h"
#include "transfer_log.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <list>
#include <optional>
#include <set>
#include <thread>

namespace knot::cli {
using namespace knot::device;
using namespace knot::logic;
using namespace knot::station;

namespace {

using Clock = std::chrono::steady_clock;

// The tally as the live lines end: short enough for a narrow terminal, the interrupted runs
// named once there are any.
std::string LiveTallyText(const LaneTally& tally) {
    std::string text =
        std::to_string(tally.written) + " passed, " + std::to_string(tally.failed) + " failed, ";
    if (tally.interrupted > 0) {
        text += std::to_string(tally.interrupted) + " interrupted, ";
    }
    return text + std::to_string(tally.running) + " in progress";
}

// What the station prints: a line for each thing that happened and, on a terminal, live lines
// below them (each unit's stage and percent, or its countdown in the wait, then the tally),
// redrawn in place.
class StationLines : public StationListener {
  public:
    explicit StationLines(bool json) : m_text(!json), m_terminal(!json && IsTerminal(stdout)) {}

    void Waiting(const RunSetup& setup);
    void Stopping();
    void Summary(const LaneTally& tally, ExitCode code);
    // The last line when a second signal ends the program, said on another thread: it
    // reads only constants and writes below the live lines.
    void LastSummary(const LaneTally& tally, ExitCode code) const;

    void OnLaneStarted(const RunningLane&) override {}
    void OnLaneEnded(const RunningLane& entry, const LaneTally& tally) override;
    void OnUnplugged(std::int32_t number, const std::string& slot) override;
    // Says once of each unit in the wait after its commit that it must stay plugged, and
    // redraws the live lines.
    void OnPolled(const std::list<RunningLane>& lanes, const LaneTally& tally) override;

  private:
    // A line for good: on a terminal above the live lines, wrapped to the width.
    void Say(const std::string& line);

    const bool m_text;
    const bool m_terminal;
    LiveBlock m_block{stdout};
    std::set<const RunningLane*> m_waitsShown; // lanes not reaped yet
};

void StationLines::Say(const std::string& line) {
    if (m_terminal) {
        m_block.Print(line);
    } else {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}

void StationLines::Waiting(const RunSetup& setup) {
    const nlohmann::ordered_json& common = setup.Common();
    if (m_text) {
        char blocks[96];
        std::snprintf(blocks, sizeof blocks, ", %d CPU and %d flash blocks to send",
                      common["blocks"]["cpu"].get<int>(), common["blocks"]["flash"].get<int>());
        Say(ImageName(setup.Options().imagePath) + ": sha256 " +
            common.value("sha256", std::string("unknown")) + blocks);
        Say("waiting for units; Ctrl-C ends the station");
    } else {
        nlohmann::ordered_json ready{{"station", "waiting"}};
        ready.update(common);
        std::printf("%s\n", DumpLine(ready).c_str());
    }
    std::fflush(stdout);
}

void StationLines::Stopping() {
    if (m_text) {
        Say("stopping: units that committed finish their wait, the others get no commit");
    }
}

void StationLines::OnUnplugged(std::int32_t number, const std::string& slot) {
    if (m_text) {
        Say(UnitName(number, slot) + " unplugged");
    }
}

void StationLines::OnLaneEnded(const RunningLane& entry, const LaneTally& tally) {
    m_waitsShown.erase(&entry);
    const nlohmann::ordered_json& record = entry.lane->Record();
    if (m_text) {
        if (entry.lane->Status().code == static_cast<int>(ExitCode::UnitBusy)) {
            // Another program writes it: it must stay, and the line names it already.
            Say(EndedLaneText(entry));
        } else {
            // After a run ended, the unit no longer writes: it may go, whatever the result.
            Say(EndedLaneText(entry) + ": unplug it now");
        }
        Say("tally: " + TallyText(tally));
    } else {
        std::printf("%s\n", DumpLine(record).c_str());
        std::fflush(stdout);
    }
}

void StationLines::OnPolled(const std::list<RunningLane>& lanes, const LaneTally& tally) {
    for (const RunningLane& entry : lanes) {
        const LaneStatus& status = entry.lane->Status();
        if (static_cast<Stage>(status.stage.load()) != Stage::Wait || status.ended ||
            !m_waitsShown.insert(&entry).second || !m_text) {
            continue;
        }
        const CommitWait& wait = entry.lane->Wait();
        const std::uint32_t left = wait.TicksLeft(static_cast<std::uint32_t>(status.done.load()));
        char line[96];
        std::snprintf(line, sizeof line,
                      "  committed: keep it plugged in, it writes its flash for %.0f s",
                      std::ceil(wait.Seconds(left)));
        Say(UnitName(entry.number, entry.slot) + line);
    }
    if (m_terminal) {
        m_block.Draw(DrawLiveLines(LooksOf(lanes), LiveTallyText(tally),
                                   TerminalSizeOf(stdout, DEFAULT_TERMINAL_SIZE)));
    }
}

void StationLines::Summary(const LaneTally& tally, ExitCode code) {
    if (m_text) {
        Say("station ended: " + TallyText(tally));
    } else {
        LastSummary(tally, code);
    }
}

void StationLines::LastSummary(const LaneTally& tally, ExitCode code) const {
    if (m_text) {
        std::printf("station ended: %s\n", TallyText(tally).c_str());
    } else {
        nlohmann::ordered_json summary{{"summary", true},
                                       {"passed", tally.written},
                                       {"failed", tally.failed},
                                       {"interrupted", tally.interrupted},
                                       {"exitCode", static_cast<int>(code)}};
        std::printf("%s\n", DumpLine(summary).c_str());
    }
    std::fflush(stdout);
}

} // namespace

CLI::App* StationCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        Name(), "Write an S-Record image into every qualifying unit as it is plugged in, each "
                "in its own lane, until Ctrl-C (exit 0 when every run ended written, 130 "
                "otherwise; 1 rejected and 2 file error before the station starts). A unit "
                "that another program writes is left to it (its record says \"busy\")");
    m_setup.AddOptions(*command);
    command->add_flag("--json", m_setup.json,
                      "print one JSON line per unit run as it ends (the --report record), then a "
                      "summary line");
    return command;
}

ExitCode StationCommand::Run(const DriverPortFactory& ports) {
    WatchForInterrupt();
    // The image is loaded and checked once, before the station takes any unit.
    if (ExitCode refused = m_setup.Load(); refused != ExitCode::Success) {
        return refused;
    }
    StationLines lines(m_setup.json);
    lines.Waiting(m_setup.Setup());
    TransferLog log = TransferLog::AtPlatformPaths();
    LaneSettings base = m_setup.Setup().Settings(log);
    base.ports = ports;
    base.stopRequested = Interrupted;
    Station station(m_setup.Setup(), std::move(base), lines, FlashSetup::SayProblem);
    LastWords words([&] { lines.LastSummary(station.AppendUnfinished(), ExitCode::Interrupted); });
    // Until Ctrl-C and every lane is over; after Ctrl-C no unit is taken, lanes that committed
    // finish their wait and the others stop before their commit.
    for (;;) {
        if (!station.Stopping() && Interrupted()) {
            station.Stop();
            if (station.Tally().running > 0) {
                lines.Stopping();
            }
        }
        if (!station.Poll()) {
            break;
        }
        std::this_thread::sleep_for(station.PollInterval());
    }
    // 0 only when every run ended written.
    const ExitCode code = station.ExitStatus(ExitCode::Interrupted);
    lines.Summary(station.Tally(), code);
    return code;
}

} // namespace knot::cli
