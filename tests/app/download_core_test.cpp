// The download core without a window, as a lane steps it: each state of a run against each
// reaction of the unit (it accepts, refuses, stays silent, answers out of turn, the driver does
// not take the packet, it is unplugged, or the run is stopped), and what the run ends with.
#include "knot_names.h"

#include "controller_test_support.h"
#include "fault_port.h"

#include "command_texts.h"
#include "download_core.h"
#include "fault_spec.h"
#include "loopback_driver_port.h"
#include "transfer_log.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

// What happens, and before which step: the driver refuses a packet, the unit goes, or the run is
// stopped. The unit's own faults come as a fault spec.
enum class Reaction { None, NotTaken, Unplugged, Stopped };

struct CoreCase {
    const char* name;
    const char* fault; // the unit's fault spec, or ""
    Reaction reaction;
    NextStep at;                    // the step before which the unplug or stop comes
    std::uint32_t flashExtent;      // 0x40: flash blocks 1 to 3; 0 and no data: no flash stage
    std::optional<Failure> failure; // none: written
    int beeps;
};

constexpr NextStep PREPARE{Stage::Prepare, 0};
constexpr NextStep CPU_BLOCK_2{Stage::CpuBlocks, 1};
constexpr NextStep CPU_END{Stage::CpuBlocks, CPU_BLOCK_COUNT};
constexpr NextStep FLASH_BLOCK_3{Stage::FlashBlocks, 2};
constexpr NextStep FLASH_END{Stage::FlashBlocks, 3};
constexpr NextStep COMMIT{Stage::Commit, 0};
constexpr NextStep TICK_1{Stage::Commit, 1};

Failure F(Stage stage, std::int32_t block, Cause cause) {
    return {stage, block, cause};
}

const CoreCase coreCases[] = {
    {"Written", "", Reaction::None, {}, 0x40, std::nullopt, 0},
    {"WrittenWithoutFlash", "", Reaction::None, {}, 0, std::nullopt, 0},
    {"PrepareRefused",
     "refuse=prepare",
     Reaction::None,
     {},
     0x40,
     F(Stage::Prepare, 0, Cause::Refused),
     0},
    {"PrepareUnanswered",
     "silent=prepare",
     Reaction::None,
     {},
     0x40,
     F(Stage::Prepare, 0, Cause::NoAnswer),
     0},
    {"PrepareAnsweredOutOfTurn",
     "stale=64",
     Reaction::None,
     {},
     0x40,
     F(Stage::Prepare, 0, Cause::NoAnswer),
     0},
    {"PrepareNotTaken", "", Reaction::NotTaken, PREPARE, 0x40,
     F(Stage::Prepare, 0, Cause::LinkFailed), 1},
    {"UnpluggedBeforePrepare", "", Reaction::Unplugged, PREPARE, 0x40,
     F(Stage::Prepare, 0, Cause::UnitRemoved), 0},
    {"StoppedBeforePrepare", "", Reaction::Stopped, PREPARE, 0x40,
     F(Stage::Prepare, 0, Cause::Interrupted), 0},
    {"CpuBlockRefused",
     "refuse=cpu:2",
     Reaction::None,
     {},
     0x40,
     F(Stage::CpuBlocks, 2, Cause::Refused),
     1},
    {"CpuBlockUnanswered",
     "silent=cpu:2",
     Reaction::None,
     {},
     0x40,
     F(Stage::CpuBlocks, 2, Cause::NoAnswer),
     1},
    {"CpuBlockNotTaken", "", Reaction::NotTaken, CPU_BLOCK_2, 0x40,
     F(Stage::CpuBlocks, 2, Cause::LinkFailed), 1},
    {"UnpluggedBeforeCpuBlock", "", Reaction::Unplugged, CPU_BLOCK_2, 0x40,
     F(Stage::CpuBlocks, 2, Cause::UnitRemoved), 0},
    {"StoppedBeforeCpuBlock", "", Reaction::Stopped, CPU_BLOCK_2, 0x40,
     F(Stage::CpuBlocks, 2, Cause::Interrupted), 0},
    {"UnpluggedAtCpuEnd", "", Reaction::Unplugged, CPU_END, 0x40,
     F(Stage::FlashBlocks, 1, Cause::UnitRemoved), 0},
    {"UnpluggedAtCpuEndWithoutFlash", "", Reaction::Unplugged, CPU_END, 0,
     F(Stage::Commit, 0, Cause::UnitRemoved), 0},
    {"FlashBlockRefused",
     "refuse=flash:3",
     Reaction::None,
     {},
     0x40,
     F(Stage::FlashBlocks, 3, Cause::Refused),
     1},
    {"FlashBlockUnanswered",
     "silent=flash:1",
     Reaction::None,
     {},
     0x40,
     F(Stage::FlashBlocks, 1, Cause::NoAnswer),
     1},
    {"FlashBlockNotTaken", "", Reaction::NotTaken, FLASH_BLOCK_3, 0x40,
     F(Stage::FlashBlocks, 3, Cause::LinkFailed), 1},
    {"UnpluggedBeforeFlashBlock", "", Reaction::Unplugged, FLASH_BLOCK_3, 0x40,
     F(Stage::FlashBlocks, 3, Cause::UnitRemoved), 0},
    {"UnpluggedAtFlashEnd", "", Reaction::Unplugged, FLASH_END, 0x40,
     F(Stage::Commit, 0, Cause::UnitRemoved), 0},
    {"CommitNotTaken", "", Reaction::NotTaken, COMMIT, 0x40, F(Stage::Commit, 0, Cause::LinkFailed),
     1},
    {"StoppedBeforeCommit", "", Reaction::Stopped, COMMIT, 0x40,
     F(Stage::Commit, 0, Cause::Interrupted), 0},
    {"UnpluggedInTheWait", "", Reaction::Unplugged, TICK_1, 0x40,
     F(Stage::Wait, 0, Cause::UnitRemoved), 0},
    {"StoppedInTheWait", "", Reaction::Stopped, TICK_1, 0x40, F(Stage::Wait, 0, Cause::Interrupted),
     0},
};

// The code of the packets that the driver refuses for a NotTaken case at `at`.
CommandCode PacketAt(const VariantProfile& profile, const NextStep& at) {
    switch (at.stage) {
    case Stage::Prepare:
        return PREPARE_COMMAND_CODE;
    case Stage::CpuBlocks:
        return DATA_BLOCK_CODE_BASE + profile.cpuBlockType;
    case Stage::FlashBlocks:
        return DATA_BLOCK_CODE_BASE + profile.flashBlockType;
    default:
        return COMMIT_COMMAND_CODE;
    }
}

class DownloadCoreTest : public ::testing::TestWithParam<CoreCase> {};

TEST_P(DownloadCoreTest, EachStateMeetsEachReaction) {
    const CoreCase& c = GetParam();
    for (const VariantProfile* model : BothModels) {
        ScratchFolder folder;
        TransferLog log(folder.File("debugZu.txt"), folder.File("debugZu.1.txt"));
        LoopbackDriverPort port;
        FaultPort faults(port);
        UnitConfig config;
        if (*c.fault) {
            config.faults.push_back(*ParseFaultSpec(c.fault));
        }
        const std::int32_t unit = port.Plug(config);
        IgnoredEvents quiet;
        int beeps = 0;
        DownloadCore core(
            *model, faults, log, quiet, [](std::chrono::milliseconds) {}, [&] { ++beeps; });
        core.Link().Access().SetDiagnosticSink([](std::string_view) {});
        ASSERT_TRUE(core.Link().Open());
        FirmwareImage image;
        FillImage(image, {0, 1, 2}, c.flashExtent, c.flashExtent != 0);
        ASSERT_TRUE(core.Begin(image, {2, std::chrono::milliseconds(0)}));
        while (core.IsRunning()) {
            if (core.Next() == c.at && c.reaction == Reaction::Unplugged) {
                ASSERT_TRUE(port.Unplug(unit));
                core.OnUnitRemoved();
            } else if (core.Next() == c.at && c.reaction == Reaction::Stopped) {
                core.Cancel();
            } else {
                if (core.Next() == c.at && c.reaction == Reaction::NotTaken) {
                    faults.FailSendsOf(PacketAt(*model, c.at));
                }
                core.Advance();
            }
        }
        const DownloadReport& report = core.Report();
        EXPECT_EQ(report.failure, c.failure) << model->modelName;
        EXPECT_EQ(report.succeeded, !c.failure.has_value());
        EXPECT_EQ(report.commitSent, !c.failure || c.failure->stage == Stage::Wait);
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_EQ(core.Advance(), StepResult::Idle) << "an ended run takes no step";
    }
}

INSTANTIATE_TEST_SUITE_P(States, DownloadCoreTest, ::testing::ValuesIn(coreCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

// The record's schema names a failure's stages and causes with the one table the records use.
TEST(FailureNamesTest, TheSchemaEnumeratesTheTable) {
    std::ifstream file(KNOT_RECORD_SCHEMA);
    const nlohmann::json schema = nlohmann::json::parse(file);
    const nlohmann::json& failure = schema["properties"]["failure"]["oneOf"][1]["properties"];
    std::vector<std::string> stages;
    for (Stage stage : FailureStages()) {
        stages.emplace_back(StageName(stage));
    }
    std::vector<std::string> causes;
    for (Cause cause : FailureCauses()) {
        causes.emplace_back(CauseName(cause));
    }
    EXPECT_EQ(failure["stage"]["enum"].get<std::vector<std::string>>(), stages);
    EXPECT_EQ(failure["cause"]["enum"].get<std::vector<std::string>>(), causes);
}

} // namespace
