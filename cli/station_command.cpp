// The station: a watch on the present interfaces at the arrival poller's pace, one lane per
// arrival, a line per ended run and a running tally.
#include "station_command.h"

#include "download_progress.h"
#include "flash_lane.h"
#include "host_facts.h"
#include "interrupt_flag.h"
#include "lane_runner.h"
#include "logic_services.h"
#include "station_presence.h"
#include "transfer_log.h"
#include "unit_choice.h"
#include "unit_driver_port.h"

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

namespace {

using Clock = std::chrono::steady_clock;

// "unit 3  SIMUNIT 1.00 0000": the unit and the identity it answered with.
std::string UnitText(std::int32_t number, const nlohmann::ordered_json& record) {
    std::string text = "unit " + std::to_string(number);
    if (record.contains("identity") && record["identity"].is_object()) {
        text += " ";
        for (const auto& [row, value] : record["identity"].items()) {
            text += " " + (value.is_string() ? value.get<std::string>() : std::string("-"));
        }
    }
    return text;
}

std::string TallyText(const LaneTally& tally) {
    char line[128];
    std::snprintf(line, sizeof line, "%d passed, %d failed, %d interrupted, %d in progress",
                  tally.written, tally.failed, tally.interrupted, tally.running);
    return line;
}

// What the station prints: a line for each thing that happened and, on a terminal, a status line
// below them (the tally and the units that must stay plugged), redrawn in place.
class StationLines {
  public:
    explicit StationLines(bool json) : m_text(!json), m_terminal(!json && IsTerminal(stdout)) {}

    void Waiting(const FlashSetup& setup);
    void Stopping();
    void Unplugged(std::int32_t number);
    void Ended(const RunningLane& entry, const LaneTally& tally);
    // Says once of each unit in the wait after its commit that it must stay plugged, and
    // redraws the status line.
    void ShowWaits(const std::list<RunningLane>& lanes, const LaneTally& tally);
    // The last line; also said by the last words, on another thread: it reads only constants.
    void Summary(const LaneTally& tally, ExitCode code) const;

  private:
    void ClearStatus();

    const bool m_text;
    const bool m_terminal;
    bool m_statusShown = false;
    std::set<const RunningLane*> m_waitsShown; // lanes not reaped yet
};

void StationLines::ClearStatus() {
    if (m_statusShown) {
        std::printf("\r\x1b[K");
        m_statusShown = false;
    }
}

void StationLines::Waiting(const FlashSetup& setup) {
    const nlohmann::ordered_json& common = setup.Common();
    if (m_text) {
        std::printf("%s: sha256 %s, %d CPU and %d flash blocks to send\n", setup.Path().c_str(),
                    common.value("sha256", std::string("unknown")).c_str(),
                    common["blocks"]["cpu"].get<int>(), common["blocks"]["flash"].get<int>());
        std::printf("waiting for units; Ctrl-C ends the station\n");
    } else {
        nlohmann::ordered_json ready{{"station", "waiting"}};
        ready.update(common);
        std::printf("%s\n", DumpLine(ready).c_str());
    }
    std::fflush(stdout);
}

void StationLines::Stopping() {
    if (m_text) {
        ClearStatus();
        std::printf("stopping: units that committed finish their wait, the others get no commit\n");
        std::fflush(stdout);
    }
}

void StationLines::Unplugged(std::int32_t number) {
    if (m_text) {
        ClearStatus();
        std::printf("unit %d unplugged\n", number);
        std::fflush(stdout);
    }
}

void StationLines::Ended(const RunningLane& entry, const LaneTally& tally) {
    m_waitsShown.erase(&entry);
    const nlohmann::ordered_json& record = entry.lane->Record();
    if (m_text) {
        ClearStatus();
        const double seconds = std::chrono::duration<double>(Clock::now() - entry.start).count();
        if (entry.lane->Status().code == static_cast<int>(ExitCode::UnitBusy)) {
            // Another program writes it: it must stay, and the line names it already.
            std::printf("%s  %s\n", record.value("time", std::string()).c_str(),
                        entry.lane->ResultLine().c_str());
        } else {
            // After a run ended, the unit no longer writes: it may go, whatever the result.
            std::printf(
                "%s  %s  %s (%.1f s): unplug it now\n", record.value("time", std::string()).c_str(),
                UnitText(entry.number, record).c_str(), entry.lane->ResultLine().c_str(), seconds);
        }
        std::printf("tally: %s\n", TallyText(tally).c_str());
    } else {
        std::printf("%s\n", DumpLine(record).c_str());
    }
    std::fflush(stdout);
}

void StationLines::ShowWaits(const std::list<RunningLane>& lanes, const LaneTally& tally) {
    std::string waits;
    for (const RunningLane& entry : lanes) {
        const LaneStatus& status = entry.lane->Status();
        if (static_cast<DownloadStage>(status.stage.load()) != DownloadStage::Wait ||
            status.ended) {
            continue;
        }
        const double tick = std::chrono::duration<double>(COMMIT_WAIT_TICK).count();
        const long left = std::max(0L, status.total.load() - status.done.load());
        const double seconds = std::ceil(static_cast<double>(left) * tick);
        if (m_waitsShown.insert(&entry).second && m_text) {
            ClearStatus();
            std::printf("unit %d  committed: keep it plugged in, it writes its flash for %.0f s\n",
                        entry.number, seconds);
            std::fflush(stdout);
        }
        char each[64];
        std::snprintf(each, sizeof each, "  unit %d: keep plugged %.0f s", entry.number, seconds);
        waits += each;
    }
    if (m_terminal) {
        std::printf("\r\x1b[K%s%s", TallyText(tally).c_str(), waits.c_str());
        std::fflush(stdout);
        m_statusShown = true;
    }
}

void StationLines::Summary(const LaneTally& tally, ExitCode code) const {
    if (m_text) {
        if (m_terminal) {
            std::printf("\r\x1b[K"); // over the status line, if one is shown
        }
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

// Starts a lane for each qualifying unit as it is plugged in, at the arrival poller's pace,
// until Ctrl-C and every lane is over. After Ctrl-C no unit is taken; lanes that committed
// finish their wait, the others stop before their commit.
void Watch(LaneRunner& runner, const LaneSettings& base, StationLines& lines) {
    const SessionTiming timing;
    std::unique_ptr<DriverPort> port = CreateUnitDriverPort();
    PresenceRules rules;
    rules.retryInterval = timing.retryInterval;
    rules.look = [&](std::uint32_t index, const std::string& path) -> std::optional<UnitLook> {
        UnitInterface unit = SurveyUnit(*port, index);
        if (unit.path != path) {
            return std::nullopt; // the interfaces changed since they were listed: next round
        }
        return UnitLook{unit.qualifies, unit.deviceNumber};
    };
    rules.busy = [&](const std::string& path) { return runner.HasLaneFor(path); };
    Presence present;
    for (bool stopping = false;;) {
        if (!stopping && Interrupted()) {
            stopping = true;
            if (!runner.Lanes().empty()) {
                lines.Stopping();
            }
        }
        runner.Reap([&](const RunningLane& entry) { lines.Ended(entry, runner.Tally()); });
        runner.DropReaped();
        if (stopping && runner.Lanes().empty()) {
            return;
        }
        if (!stopping) {
            rules.now = Clock::now();
            // Opens no interface but new ones: units being written are not disturbed.
            PresenceStep step = TrackPresence(std::move(present), PresentPaths(*port), rules);
            present = std::move(step.present);
            for (std::int32_t number : step.unplugged) {
                lines.Unplugged(number);
            }
            for (const UnitToStart& unit : step.start) {
                LaneSettings each = base;
                each.devicePath = unit.path;
                each.deviceNumber = unit.number;
                runner.Start(std::move(each), unit.number);
            }
        }
        lines.ShowWaits(runner.Lanes(), runner.Tally());
        std::this_thread::sleep_for(timing.pollInterval);
    }
}

} // namespace

CLI::App* StationCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        "station", "Write an S-Record image into every qualifying unit as it is plugged in, each "
                   "in its own lane, until Ctrl-C (exit 0 when every run ended written, 130 "
                   "otherwise; 1 rejected and 2 file error before the station starts). A unit "
                   "that another program writes is left to it (its record says \"busy\")");
    m_setup.AddOptions(*command);
    command->add_flag("--json", m_setup.json,
                      "print one JSON line per unit run as it ends (the --report record), then a "
                      "summary line");
    return command;
}

ExitCode StationCommand::Run() {
    WatchForInterrupt();
    // The image is loaded and checked once, before the station takes any unit.
    if (ExitCode refused = m_setup.Load(); refused != ExitCode::Success) {
        return refused;
    }
    StationLines lines(m_setup.json);
    lines.Waiting(m_setup);
    TransferLog log = TransferLog::AtPlatformPaths();
    LaneSettings base = m_setup.Settings(log);
    base.finishCommittedWait = true;
    LaneRunner runner(m_setup);
    LastWords words([&] { lines.Summary(runner.AppendUnfinished(), ExitCode::Interrupted); });
    Watch(runner, base, lines);
    // 0 only when every run ended written.
    const ExitCode code = runner.ExitStatus(ExitCode::Interrupted);
    lines.Summary(runner.Tally(), code);
    return code;
}
