// Several units at once: flash --all with one faulted lane, over in-process units. (Stations and
// stops, which need knot-fdt as a process: station_and_stops_test.cpp.)
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
namespace fs = std::filesystem;

// Eight units of both packet sizes flashed at once, one of them faulted at one stage: only that
// lane fails, its record says where, and every other unit receives exactly what it receives when
// flashed alone.
struct LaneCase {
    const char* name;
    std::string fault;
    std::string result;
    std::string stage;
    int block;
    std::string cause;
};

class FlashAllTest : public UnitCommandsTest, public ::testing::WithParamInterface<LaneCase> {};

constexpr int LANE_UNITS = 8;
constexpr int FAULTED_UNIT = 5;

TEST_P(FlashAllTest, OnlyTheFaultedLaneFailsAndTheOthersSendWhatOneUnitAloneSends) {
    const LaneCase& c = GetParam();
    WriteSmallImage("small.mot");
    const std::string flash = "flash --model p --commit-wait-ms 200 ";
    // Alone: one unit of each packet size.
    ASSERT_EQ(Plug(), 0);
    ASSERT_EQ(Plug({"--packet-size", "62"}), 1);
    for (const char* unit : {"0", "1"}) {
        ToolRun alone = RunTool(flash + "--unit " + unit + " small.mot");
        ASSERT_EQ(alone.exitCode, 0) << alone.out << alone.err;
    }
    std::map<int, std::vector<std::string>> alone = PacketsByUnit(Capture());
    const std::size_t before = Capture().size();
    for (int number = 2; number < LANE_UNITS; ++number) {
        std::vector<std::string> plug;
        if (number % 2 == 1) {
            plug = {"--packet-size", "62"};
        }
        if (number == FAULTED_UNIT) {
            plug.insert(plug.end(), {"--fault", c.fault});
        }
        ASSERT_EQ(Plug(plug), number);
    }

    ToolRun run = RunTool(flash + "--all --json --report report.jsonl small.mot");
    EXPECT_EQ(run.exitCode, 5) << run.out << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), LANE_UNITS + 1u) << run.out;
    auto summary = nlohmann::json::parse(lines.back());
    EXPECT_EQ(summary["written"], LANE_UNITS - 1);
    EXPECT_EQ(summary["failed"], 1);
    EXPECT_EQ(summary["exitCode"], 5);
    std::set<int> seen;
    for (int i = 0; i < LANE_UNITS; ++i) {
        auto record = ParseRecord(lines[i]);
        int number = record["deviceNumber"];
        seen.insert(number);
        if (number == FAULTED_UNIT) {
            EXPECT_EQ(record["result"], c.result);
            EXPECT_EQ(record["failure"]["stage"], c.stage);
            EXPECT_EQ(record["failure"]["block"], c.block);
            EXPECT_EQ(record["failure"]["cause"], c.cause);
        } else {
            EXPECT_EQ(record["result"], "written") << lines[i];
            EXPECT_EQ(record["failure"], nullptr);
        }
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(LANE_UNITS));
    // The report holds the same records, one line each, whole.
    std::vector<std::string> reported = Lines(Slurp("report.jsonl"));
    lines.pop_back();
    EXPECT_EQ(std::multiset<std::string>(reported.begin(), reported.end()),
              std::multiset<std::string>(lines.begin(), lines.end()));

    std::map<int, std::vector<std::string>> together = PacketsByUnit(Capture().substr(before));
    for (int number = 0; number < LANE_UNITS; ++number) {
        if (number != FAULTED_UNIT) {
            EXPECT_TRUE(together[number] == alone[number % 2]) << "unit " << number;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    OneFaultPerStage, FlashAllTest,
    ::testing::Values(
        LaneCase{"RefusedPrepare", "refuse=prepare", "failed", "prepare", 0, "refused"},
        LaneCase{"SilentIdentityQuery", "silent=query:1", "failed", "identity", 0, "no-answer"},
        LaneCase{"RefusedIdentityQuery", "refuse=query:1", "failed", "identity", 0, "refused"},
        LaneCase{"IdentityAnswersOfTheWrongSize", "wrongsize=70", "failed", "identity", 0,
                 "out-of-turn"},
        LaneCase{"UnpluggedDuringIdentityQuery", "unplug=query:1", "failed", "identity", 0,
                 "removed"},
        LaneCase{"RefusedCpuBlock", "refuse=cpu:2", "failed", "cpu", 2, "refused"},
        LaneCase{"SilentFlashBlock", "silent=flash:3", "failed", "flash", 3, "no-answer"},
        // The commit's answer is never read: a unit gone at its commit is seen in the wait.
        LaneCase{"UnpluggedAtTheCommit", "unplug=commit", "failed", "wait", 0, "unit-removed"},
        LaneCase{"UnpluggedDuringTheWait", "unplug=wait:50", "failed", "wait", 0, "unit-removed"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
