// The station: a watch on the present interfaces at the arrival poller's pace, one lane per
// arrival, a line per ended run and a running tally.
#include "station_command.h"

#include "download_progress.h"
#include "flash_lane.h"
#include "host_facts.h"
#include "interrupt_flag.h"
#include "logic_services.h"
#include "transfer_log.h"
#include "unit_choice.h"
#include "unit_driver_port.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <list>
#include <map>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// One run of one unit, on its own thread.
struct StationRun {
    std::string path;
    std::int32_t number = 0;
    std::unique_ptr<FlashLane> lane;
    Clock::time_point start;
    std::thread thread;
    std::atomic<bool> over{false}; // the record is appended and the lane's line printed
    bool waitShown = false;
};

// What the station knows of a present interface.
struct Arrival {
    bool qualifies = false;
    std::int32_t number = 0;
    bool written = false; // a run was started in this plug
    Clock::time_point inspected;
};

struct Tally {
    int passed = 0;
    int failed = 0;
    int interrupted = 0;
    int running = 0;
};

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

} // namespace

CLI::App* StationCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        "station", "Write an S-Record image into every qualifying unit as it is plugged in, each "
                   "in its own lane, until Ctrl-C (exit 0 when every run ended written, 130 "
                   "otherwise; 1 rejected and 2 file error before the station starts)");
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
    const bool text = !m_setup.json;
    const bool terminal = text && IsTerminal(stdout);
    const nlohmann::ordered_json& common = m_setup.Common();
    if (text) {
        std::printf("%s: sha256 %s, %d CPU and %d flash blocks to send\n", m_setup.Path().c_str(),
                    common.value("sha256", std::string("unknown")).c_str(),
                    common["blocks"]["cpu"].get<int>(), common["blocks"]["flash"].get<int>());
        std::printf("waiting for units; Ctrl-C ends the station\n");
    } else {
        nlohmann::ordered_json ready{{"station", "waiting"}};
        ready.update(common);
        std::printf("%s\n", DumpLine(ready).c_str());
    }
    std::fflush(stdout);

    TransferLog log = TransferLog::AtPlatformPaths();
    LaneSettings base = m_setup.Settings(log);
    base.finishCommittedWait = true;
    const SessionTiming timing;
    std::unique_ptr<DriverPort> port = CreateUnitDriverPort();
    std::map<std::string, Arrival> present;
    // A list: a running lane's entry never moves. Only this thread prints; a lane's thread runs
    // its download and appends its record.
    std::list<StationRun> runs;
    Tally tally;
    std::atomic<bool> recordLost{false};
    bool statusShown = false;

    auto clearStatus = [&] {
        if (statusShown) {
            std::printf("\r\x1b[K");
            statusShown = false;
        }
    };
    auto tallyText = [&] {
        char line[128];
        std::snprintf(line, sizeof line, "%d passed, %d failed, %d interrupted, %d in progress",
                      tally.passed, tally.failed, tally.interrupted, tally.running);
        return std::string(line);
    };

    auto start = [&](const std::string& path, std::int32_t number) {
        StationRun& run = runs.emplace_back();
        run.path = path;
        run.number = number;
        LaneSettings each = base;
        each.devicePath = path;
        each.deviceNumber = number;
        run.lane = std::make_unique<FlashLane>(std::move(each));
        run.start = Clock::now();
        ++tally.running;
        run.thread = std::thread([&, &run = run] {
            run.lane->Run();
            if (!m_setup.AppendReport(*run.lane)) {
                recordLost = true;
            }
            run.over = true;
        });
    };

    // A run that ended: its line, and the tally.
    auto reap = [&](StationRun& run) {
        run.thread.join();
        const nlohmann::ordered_json& record = run.lane->Record();
        const std::string result = record.value("result", std::string());
        --tally.running;
        if (result == "written") {
            ++tally.passed;
        } else if (result == "interrupted") {
            ++tally.interrupted;
        } else {
            ++tally.failed;
        }
        if (text) {
            clearStatus();
            const double seconds = std::chrono::duration<double>(Clock::now() - run.start).count();
            // After a run ended, the unit no longer writes: it may go, whatever the result.
            std::printf(
                "%s  %s  %s (%.1f s): unplug it now\n", record.value("time", std::string()).c_str(),
                UnitText(run.number, record).c_str(), run.lane->ResultLine().c_str(), seconds);
            std::printf("tally: %s\n", tallyText().c_str());
        } else {
            std::printf("%s\n", DumpLine(record).c_str());
        }
        std::fflush(stdout);
    };

    // Ctrl-C stops taking units; lanes that committed finish their wait, the others stop
    // before their commit.
    bool stopping = false;
    for (;;) {
        if (!stopping && Interrupted()) {
            stopping = true;
            if (text && !runs.empty()) {
                clearStatus();
                std::printf(
                    "stopping: units that committed finish their wait, the others get no commit\n");
                std::fflush(stdout);
            }
        }
        for (auto it = runs.begin(); it != runs.end();) {
            if (it->over) {
                reap(*it);
                it = runs.erase(it);
            } else {
                ++it;
            }
        }
        if (stopping && runs.empty()) {
            break;
        }
        // Arrivals and removals, by device path; only a new interface is opened for a look.
        const Clock::time_point now = Clock::now();
        std::optional<std::vector<std::string>> listed;
        if (!stopping) {
            listed = PresentPaths(*port); // nothing when the interfaces cannot be listed now
        }
        const std::vector<std::string> paths = listed.value_or(std::vector<std::string>());
        // A unit counts as gone only when a whole listing lacks it: a path that could not be
        // read may be its own.
        const bool whole = listed && std::find(paths.begin(), paths.end(), "") == paths.end();
        for (auto it = present.begin(); it != present.end() && whole;) {
            if (std::find(paths.begin(), paths.end(), it->first) == paths.end()) {
                if (it->second.written && text) {
                    clearStatus();
                    std::printf("unit %d unplugged\n", it->second.number);
                    std::fflush(stdout);
                }
                it = present.erase(it); // unplugged: the next plug is a new arrival
            } else {
                ++it;
            }
        }
        for (std::size_t index = 0; index < paths.size(); ++index) {
            const std::string& path = paths[index];
            if (path.empty()) {
                continue;
            }
            auto known = present.find(path);
            if (known == present.end() || (!known->second.qualifies &&
                                           now - known->second.inspected >= timing.retryInterval)) {
                UnitInterface unit = SurveyUnit(*port, static_cast<std::uint32_t>(index));
                if (unit.path != path) {
                    continue; // the interfaces changed since they were listed: next round
                }
                Arrival& arrival = present[path];
                arrival.qualifies = unit.qualifies;
                arrival.number = unit.deviceNumber;
                arrival.inspected = now;
            }
        }
        for (auto& [path, arrival] : present) {
            if (stopping || !arrival.qualifies || arrival.written) {
                continue;
            }
            bool running = false; // plugged back while the run of its last plug still ends
            for (const StationRun& run : runs) {
                running = running || run.path == path;
            }
            if (!running) {
                arrival.written = true;
                start(path, arrival.number);
            }
        }

        // Units in the wait after the commit must stay plugged: said once, counted down on a
        // terminal.
        std::string waits;
        for (StationRun& run : runs) {
            const LaneStatus& status = run.lane->Status();
            if (static_cast<DownloadStage>(status.stage.load()) != DownloadStage::Wait ||
                status.ended) {
                continue;
            }
            const double tick = std::chrono::duration<double>(COMMIT_WAIT_TICK).count();
            const long left = std::max(0L, status.total.load() - status.done.load());
            const double seconds = std::ceil(static_cast<double>(left) * tick);
            if (!run.waitShown && text) {
                clearStatus();
                std::printf("unit %d  committed: keep it plugged in, it writes its flash for "
                            "%.0f s\n",
                            run.number, seconds);
                std::fflush(stdout);
            }
            run.waitShown = true;
            char each[64];
            std::snprintf(each, sizeof each, "  unit %d: keep plugged %.0f s", run.number, seconds);
            waits += each;
        }
        if (terminal) {
            std::printf("\r\x1b[K%s%s", tallyText().c_str(), waits.c_str());
            std::fflush(stdout);
            statusShown = true;
        }
        std::this_thread::sleep_for(timing.pollInterval);
    }

    runs.clear();

    const ExitCode code = tally.failed > 0 || tally.interrupted > 0 ? ExitCode::Interrupted
                          : recordLost                              ? ExitCode::FileError
                                                                    : ExitCode::Success;
    if (text) {
        clearStatus();
        std::printf("station ended: %s\n", tallyText().c_str());
    } else {
        nlohmann::ordered_json summary{{"summary", true},
                                       {"passed", tally.passed},
                                       {"failed", tally.failed},
                                       {"interrupted", tally.interrupted},
                                       {"exitCode", static_cast<int>(code)}};
        std::printf("%s\n", DumpLine(summary).c_str());
    }
    std::fflush(stdout);
    return code;
}
