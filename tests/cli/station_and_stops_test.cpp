// Stations and stops of knot-fdt as a process: a station session plug by plug against a
// knot-unit-sim process, and signals while units are in their wait.
#include "knot_names.h"

#include "case_printer.h"
#include "record_log.h"
#include "unit_commands_rig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <map>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using namespace knot_cli_test;
using knot_test::ParseRecord;
using knot_test::PrintTo;

// One station session, step by step: each step plugs a unit into bay N, its number (after
// unplugging one, where it says) and names the record its run must leave. Units are left plugged
// unless a step unplugs them: none of them may be written twice in one plug. (Stops during a run:
// StopTest.)
struct StationStep {
    const char* what;
    int unplug; // >= 0: unplug this unit first
    std::vector<std::string> plug;
    int number; // the unit the plug gets and the record names
    std::string result;
    std::string stage; // "" for no failure
    int block;
};

const std::vector<StationStep> STATION_SESSION = {
    {"first unit", -1, {}, 0, "written", "", 0},
    {"second unit, the first still plugged", -1, {}, 1, "written", "", 0},
    {"third unit", -1, {}, 2, "written", "", 0},
    {"second unit plugged again", 1, {}, 1, "written", "", 0},
    {"faulted unit", -1, {"--fault", "refuse=flash:3"}, 3, "failed", "flash", 3},
    {"unit removed mid-run", -1, {"--fault", "unplug=flash:2"}, 4, "failed", "flash", 2},
    {"the removed unit plugged again", -1, {}, 4, "written", "", 0},
};

std::string Bay(int number) {
    return "bay-" + std::to_string(number);
}

// The commit wait of every run.
constexpr const char* STATION_WAIT_MS = "300";

TEST_F(SimProcessTest, StationWritesEachUnitOncePerPlugAndTalliesEveryRun) {
    WriteSmallImage("small.mot");
    pid_t tool = StartTool({"station", "--model", "p", "--commit-wait-ms", STATION_WAIT_MS,
                            "--report", "report.jsonl", "small.mot"});
    ASSERT_GT(tool, 0);
    std::shared_ptr<void> reaper(nullptr, [tool](void*) {
        if (waitpid(tool, nullptr, WNOHANG) == 0) {
            kill(tool, SIGKILL);
            waitpid(tool, nullptr, 0);
        }
    });
    ASSERT_TRUE(WaitUntil(
        [] { return Slurp("tool-out.txt").find("waiting for units") != std::string::npos; },
        std::chrono::seconds(20)));
    std::map<int, int> plugs;
    for (std::size_t i = 0; i < STATION_SESSION.size(); ++i) {
        const StationStep& step = STATION_SESSION[i];
        if (step.unplug >= 0) {
            ASSERT_TRUE(server->Unplug(step.unplug)) << step.what;
        }
        if (plugs[step.number] > 0) {
            // The same device path again: the station must have seen it go first.
            const std::string gone =
                "unit " + std::to_string(step.number) + " [" + Bay(step.number) + "] unplugged";
            ASSERT_TRUE(
                WaitUntil([&] { return Count(Slurp("tool-out.txt"), gone) == plugs[step.number]; },
                          std::chrono::seconds(20)))
                << step.what;
        }
        std::vector<std::string> plug = step.plug;
        plug.insert(plug.end(), {"--slot", Bay(step.number)});
        ASSERT_EQ(server->Plug(plug), step.number) << step.what;
        ++plugs[step.number];
        ASSERT_TRUE(WaitUntil([&] { return Lines(Slurp("report.jsonl")).size() == i + 1; },
                              std::chrono::seconds(30)))
            << step.what << "\n"
            << Slurp("tool-out.txt") << Slurp("tool-err.txt");
    }
    kill(tool, SIGINT);
    // Two runs failed: 130 (0 only when every run ended written and none was interrupted).
    EXPECT_EQ(WaitForExit(tool, std::chrono::seconds(20)), 130) << Slurp("tool-err.txt");

    std::vector<std::string> records = Lines(Slurp("report.jsonl"));
    ASSERT_EQ(records.size(), STATION_SESSION.size()) << "a unit that stayed plugged ran again";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const StationStep& step = STATION_SESSION[i];
        auto record = ParseRecord(records[i]);
        EXPECT_EQ(record["deviceNumber"], step.number) << step.what;
        EXPECT_EQ(record["slot"], Bay(step.number)) << step.what;
        EXPECT_EQ(record["result"], step.result) << step.what;
        EXPECT_EQ(record["commitSent"], step.result == "written") << step.what;
        if (step.stage.empty()) {
            EXPECT_EQ(record["failure"], nullptr) << step.what;
        } else {
            EXPECT_EQ(record["failure"]["stage"], step.stage) << step.what;
            EXPECT_EQ(record["failure"]["block"], step.block) << step.what;
        }
    }
    // One download per plug: every prepare the units received.
    std::map<int, std::vector<std::string>> packets = PacketsByUnit(Capture());
    for (const auto& [number, count] : plugs) {
        int prepares = 0;
        for (const std::string& packet : packets[number]) {
            prepares += packet.compare(0, 2, "R ") == 0 && packet.compare(2 + 20, 4, "3F0F") == 0;
        }
        EXPECT_EQ(prepares, count) << "unit " << number;
    }
    const std::string out = Slurp("tool-out.txt");
    EXPECT_NE(out.find("unit 3 [bay-3]  SIMUNIT 1.00 0000  failed in stage flash at block 3: the "
                       "unit refused it"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("station ended: 5 passed, 2 failed, 0 interrupted, 0 in progress"),
              std::string::npos)
        << out;
}

// Stops while both units are in their wait after the commit, held there by a long wait: the
// first stop lets the wait go on, a second one records each unit as interrupted where it stands;
// a closed output ends nothing early. One record per unit, and 130.
struct StopCase {
    const char* name;
    std::vector<std::string> command;
    int first;
    int second; // 0: none
    bool closedOut;
};

class StopTest : public SimProcessTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopTest, RecordsEveryUnitOnceAndEndsWithOneThirty) {
    const StopCase& c = GetParam();
    WriteSmallImage("small.mot");
    ASSERT_EQ(server->Plug(), 0);
    ASSERT_EQ(server->Plug(), 1);
    std::vector<std::string> args = c.command;
    args.insert(args.end(), {"--model", "p", "--commit-wait-ms", "600000", "--report",
                             "report.jsonl", "small.mot"});
    pid_t tool = StartTool(args, "tool", c.closedOut);
    ASSERT_GT(tool, 0);
    std::shared_ptr<void> reaper(nullptr, [tool](void*) { WaitForExit(tool, {}); });
    // What the station says before the second stop: both units must stay, and it stops.
    auto stopping = [&] {
        const std::string said = Slurp("tool-out.txt");
        return c.closedOut ? SignalsTaken(tool)
                           : Count(said, "  committed: keep it plugged in") == 2 &&
                                 Count(said, "stopping: units that committed finish") == 1;
    };
    ASSERT_TRUE(WaitUntil([&] { return ReceivedWithCode(Capture(), "3F80") == 2; },
                          std::chrono::seconds(20)));
    kill(tool, c.first);
    if (c.second != 0) {
        ASSERT_TRUE(WaitUntil(stopping, std::chrono::seconds(20))) << Slurp("tool-out.txt");
        kill(tool, c.second);
    }
    EXPECT_EQ(WaitForExit(tool, std::chrono::seconds(20)), 130) << Slurp("tool-err.txt");
    std::vector<std::string> records = Lines(Slurp("report.jsonl"));
    ASSERT_EQ(records.size(), 2u) << Slurp("report.jsonl");
    for (const std::string& line : records) {
        auto record = ParseRecord(line);
        EXPECT_EQ(record["result"], "interrupted") << line;
        EXPECT_EQ(record["failure"]["stage"], "wait") << line;
        EXPECT_EQ(record["commitSent"], true) << line;
    }
    if (!c.closedOut) {
        EXPECT_NE(Slurp("tool-out.txt").find("station ended: 0 passed, 0 failed, 2 interrupted"),
                  std::string::npos)
            << Slurp("tool-out.txt");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, StopTest,
    ::testing::Values(StopCase{"StationCtrlCTwice", {"station"}, SIGINT, SIGINT, false},
                      StopCase{"StationSigtermTwice", {"station"}, SIGTERM, SIGTERM, false},
                      StopCase{"StationSighupThenCtrlC", {"station"}, SIGHUP, SIGINT, false},
                      StopCase{"StationClosedOutput", {"station"}, SIGINT, SIGINT, true},
                      StopCase{"FlashAllClosedOutput", {"flash", "--all"}, SIGINT, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
