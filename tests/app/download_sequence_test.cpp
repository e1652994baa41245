// The download as the window runs it over an in-process unit: texts, progress, skip rule, block
// numbering, what a failure shows, and the commands it refuses while it runs.
#include "knot_names.h"

#include "case_printer.h"
#include "controller_rig.h"

#include "command_texts.h"
#include "operator_texts.h"
#include "string_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using knot_test::PrintTo;

class DownloadSequenceTest : public ::testing::TestWithParam<const VariantProfile*> {
  protected:
    const VariantProfile& profile() { return *GetParam(); }
    // Index of the first event the run produced.
    std::size_t StartRun(ControllerRig& rig) {
        std::size_t first = rig.view.events.size();
        rig.view.positions.clear();
        rig.view.statusHistory.clear();
        rig.controller->OnStartDownload();
        return first;
    }
    std::vector<std::string> EventsFrom(ControllerRig& rig, std::size_t first, const char* kind) {
        std::vector<std::string> picked;
        for (std::size_t i = first; i < rig.view.events.size(); ++i) {
            if (rig.view.events[i].rfind(kind, 0) == 0) {
                picked.push_back(rig.view.events[i]);
            }
        }
        return picked;
    }
};

TEST_P(DownloadSequenceTest, WholeRunShowsEveryTextRangeAndPosition) {
    ControllerRig rig(profile());
    rig.OpenWithUnit();
    ASSERT_TRUE(rig.controller->DeviceReady());
    FillImage(rig.image(), {0, 5, 8191}, 32);

    std::size_t first = StartRun(rig);
    rig.Pump();

    const int n = static_cast<int>(profile().commitWaitSteps);
    EXPECT_EQ(rig.view.statusHistory,
              (std::vector<std::string>{STATUS_PREPARING, STATUS_CPU_PHASE, STATUS_FLASH_PHASE,
                                        STATUS_WRITING, STATUS_EMPTY}));
    EXPECT_EQ(EventsFrom(rig, first, "range:"),
              (std::vector<std::string>{"range:8193", "range:1", "range:" + std::to_string(n)}));
    std::vector<int> expected{0};
    for (int i = 1; i <= 8192; ++i) {
        expected.push_back(i);
    }
    expected.push_back(8193);
    expected.push_back(8194);
    expected.push_back(0); // the identity reset at the commit
    expected.push_back(0);
    for (int k = 1; k <= n + 1; ++k) {
        expected.push_back(k);
    }
    expected.push_back(0);
    EXPECT_EQ(rig.view.positions, expected);
    EXPECT_EQ(rig.view.refreshes, 8192 + 2 + n + 1);
    EXPECT_EQ(rig.sleeps, n + 1);
    EXPECT_EQ(rig.slept, std::chrono::milliseconds(10) * (n + 1));

    ASSERT_FALSE(rig.view.messages.empty());
    const ShownMessage& last = rig.view.messages.back();
    EXPECT_EQ(last.text, DOWNLOAD_DONE_TEXT);
    EXPECT_EQ(last.icon, MessageIcon::Information);
    EXPECT_EQ(last.caption, ProgramTitle(profile()));
    EXPECT_FALSE(rig.view.startEnabled);
    EXPECT_FALSE(rig.view.initializeEnabled);
    EXPECT_TRUE(rig.view.openEnabled);
    EXPECT_EQ(rig.view.rows[0][1], IDENTITY_PLACEHOLDER);

    EXPECT_EQ(CountReceived(rig.port, rig.unit, PREPARE_COMMAND_CODE), 1);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, CpuCode(profile())), 3);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, FlashCode(profile())), 2);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, COMMIT_COMMAND_CODE), 1);
    std::vector<std::uint8_t> cpu = rig.port.CpuMemory(rig.unit);
    EXPECT_TRUE(std::equal(cpu.begin(), cpu.end(), rig.image().CpuRegion.begin()));
    std::vector<std::uint8_t> flash = rig.port.FlashMemory(rig.unit);
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 64, rig.image().FlashRegion.begin()));
    EXPECT_EQ(flash[64], 0x00) << "no block beyond the extent is sent";
    EXPECT_FALSE(rig.controller->IsDownloadRunning());
}

struct ExtentCase {
    const char* name;
    std::uint32_t extent;
    bool flashData;
    std::size_t flashBlocks;
    int rangeMax;
};

class FlashExtentTest
    : public ::testing::TestWithParam<std::tuple<const VariantProfile*, ExtentCase>> {};

TEST_P(FlashExtentTest, SendsBlocksZeroToExtentNumberedFromOne) {
    const auto& [model, c] = GetParam();
    ControllerRig rig(*model);
    rig.OpenWithUnit();
    FillImage(rig.image(), {1}, c.extent, c.flashData);
    rig.controller->SetCommitWait({0, std::chrono::milliseconds(0)});
    rig.view.statusHistory.clear();
    rig.controller->OnStartDownload();
    EXPECT_EQ(rig.view.rangeMax, c.rangeMax);
    rig.Pump();

    EXPECT_EQ(rig.controller->Core().Report().flashBlocksSent, c.flashBlocks);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, FlashCode(*model)),
              static_cast<int>(c.flashBlocks));
    bool flashShown = std::count(rig.view.statusHistory.begin(), rig.view.statusHistory.end(),
                                 STATUS_FLASH_PHASE) > 0;
    EXPECT_EQ(flashShown, c.flashBlocks > 0);
    std::vector<std::uint8_t> flash = rig.port.FlashMemory(rig.unit);
    std::size_t bytes = c.flashBlocks * DATA_BLOCK_SIZE;
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + bytes, rig.image().FlashRegion.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + bytes, flash.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(rig.view.messages.back().text, DOWNLOAD_DONE_TEXT);
}

const ExtentCase extentCases[] = {
    {"NoFlashData", 0, false, 0, 8192},
    {"DataWithinFirstBlock", 0, true, 1, 8192},
    {"Extent32", 32, true, 2, 8193},
    {"FullFlash", 0x7FFE0, true, 16384, 24575},
};

INSTANTIATE_TEST_SUITE_P(BothModels, FlashExtentTest,
                         ::testing::Combine(::testing::ValuesIn(BothModels),
                                            ::testing::ValuesIn(extentCases)),
                         [](const auto& info) {
                             return std::string(
                                        std::get<0>(info.param)->modelName[5] == 'Q' ? "Q" : "P") +
                                    std::get<1>(info.param).name;
                         });

TEST_P(DownloadSequenceTest, BlankCpuBlocksAreSkippedTheLastOneToo) {
    ControllerRig rig(profile());
    rig.OpenWithUnit();
    FillImage(rig.image(), {}, 0, false);
    // One byte that is not 0xFF makes the whole block go out; the last block stays blank.
    rig.image().CpuRegion[8190 * DATA_BLOCK_SIZE + 31] = 0xFE;
    rig.controller->SetCommitWait({0, std::chrono::milliseconds(0)});
    rig.view.positions.clear();
    rig.controller->OnStartDownload();
    rig.Pump();

    EXPECT_EQ(rig.controller->Core().Report().cpuBlocksSent, 1u);
    EXPECT_EQ(rig.controller->Core().Report().cpuBlocksSkipped, 8191u);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, CpuCode(profile())), 1);
    std::vector<std::uint8_t> cpu = rig.port.CpuMemory(rig.unit);
    EXPECT_TRUE(std::equal(cpu.begin(), cpu.end(), rig.image().CpuRegion.begin()));
    // Every CPU step still moves the bar.
    EXPECT_EQ(std::count_if(rig.view.positions.begin(), rig.view.positions.end(),
                            [](int p) { return p >= 1 && p <= 8192; }),
              8192 + 1); // 1..8192, and 1 again in the wait
}

struct FailureCase {
    const char* name;
    const char* fault;    // a fault of the unit, or "" for none
    CommandCode failSend; // a packet the driver refuses to take (0: none)
    Stage stage;
    std::int32_t blockNumber;
    Cause cause;
    int beeps;
};

class DownloadFailureTest
    : public ::testing::TestWithParam<std::tuple<const VariantProfile*, FailureCase>> {};

TEST_P(DownloadFailureTest, EndsWithTheOneMessageAndGivesStartBack) {
    const auto& [model, c] = GetParam();
    ControllerRig rig(*model);
    UnitConfig config;
    if (*c.fault) {
        config.faults.push_back(*ParseFaultSpec(c.fault));
    }
    rig.OpenWithUnit(config);
    FillImage(rig.image(), {0, 1, 2}, 64);
    rig.view.statusHistory.clear();
    if (c.failSend == 1) {
        rig.faults.FailSendsOf(CpuCode(*model));
    } else if (c.failSend) {
        rig.faults.FailSendsOf(c.failSend);
    }
    rig.controller->OnStartDownload();
    rig.Pump();

    const DownloadReport& report = rig.controller->Core().Report();
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->stage, c.stage);
    EXPECT_EQ(report.failure->block, c.blockNumber);
    EXPECT_EQ(report.failure->cause, c.cause);
    ASSERT_EQ(rig.view.messages.size(), 1u);
    EXPECT_EQ(rig.view.messages[0].text, DOWNLOAD_FAILED_TEXT);
    EXPECT_EQ(rig.view.messages[0].icon, MessageIcon::Stop);
    EXPECT_EQ(rig.view.statusHistory.back(), STATUS_EMPTY);
    EXPECT_EQ(rig.beeps, c.beeps);
    EXPECT_EQ(rig.sleeps, 0);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, COMMIT_COMMAND_CODE), 0);
    // The unit is still there and ready: Start, Open and Initialize come back.
    EXPECT_TRUE(rig.view.startEnabled);
    EXPECT_TRUE(rig.view.openEnabled);
    EXPECT_TRUE(rig.view.initializeEnabled);
    EXPECT_FALSE(rig.controller->IsDownloadRunning());
    EXPECT_EQ(rig.view.Queued(), 0u);
}

// Where and why each stage fails is the core's table (download_core_test.cpp); here, what the
// window shows of a failure in a command and in a block.
const FailureCase failureCases[] = {
    {"PrepareRefused", "refuse=prepare", 0, Stage::Prepare, 0, Cause::Refused, 0},
    {"CpuBlockNotSent", "", 1, Stage::CpuBlocks, 1, Cause::LinkFailed, 1},
    {"FlashBlockUnanswered", "silent=flash:3", 0, Stage::FlashBlocks, 3, Cause::NoAnswer, 1},
    {"CommitNotSent", "", COMMIT_COMMAND_CODE, Stage::Commit, 0, Cause::LinkFailed, 1},
};

INSTANTIATE_TEST_SUITE_P(BothModels, DownloadFailureTest,
                         ::testing::Combine(::testing::ValuesIn(BothModels),
                                            ::testing::ValuesIn(failureCases)),
                         [](const auto& info) {
                             return std::string(
                                        std::get<0>(info.param)->modelName[5] == 'Q' ? "Q" : "P") +
                                    std::get<1>(info.param).name;
                         });

TEST_P(DownloadSequenceTest, FailedPrepareLeavesStatusEmptyAndSendsNothingElse) {
    ControllerRig rig(profile());
    UnitConfig config;
    config.faults.push_back(*ParseFaultSpec("refuse=prepare"));
    rig.OpenWithUnit(config);
    FillImage(rig.image(), {0}, 32);
    rig.view.statusHistory.clear();
    rig.controller->OnStartDownload();
    EXPECT_EQ(rig.view.statusHistory, (std::vector<std::string>{STATUS_PREPARING, STATUS_EMPTY}));
    EXPECT_EQ(rig.view.Queued(), 0u);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, CpuCode(profile())), 0);
}

TEST_P(DownloadSequenceTest, AWholeRunOverA62ByteUnitLandsEveryBlock) {
    ControllerRig rig(profile());
    UnitConfig config;
    config.packetSize = 62;
    rig.OpenWithUnit(config);
    ASSERT_EQ(rig.controller->Core().Link().Link().packetSize, 62);
    FillImage(rig.image(), {0, 1, 4095, 8191}, 0x3E0);
    rig.controller->SetCommitWait({3, std::chrono::milliseconds(0)});
    rig.controller->OnStartDownload();
    rig.Pump();
    const DownloadReport& report = rig.controller->Core().Report();
    ASSERT_TRUE(report.succeeded);
    EXPECT_EQ(report.cpuBlocksSent, 4u);
    EXPECT_EQ(report.flashBlocksSent, 0x3E0u / DATA_BLOCK_SIZE + 1);
    std::vector<std::uint8_t> cpu = rig.port.CpuMemory(rig.unit);
    EXPECT_TRUE(std::equal(cpu.begin(), cpu.end(), rig.image().CpuRegion.begin()));
    std::vector<std::uint8_t> flash = rig.port.FlashMemory(rig.unit);
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 0x400, rig.image().FlashRegion.begin()));
    EXPECT_EQ(CountReceived(rig.port, rig.unit, COMMIT_COMMAND_CODE), 1);
}

TEST_P(DownloadSequenceTest, CommandsAreRefusedWhileARunGoesOn) {
    ControllerRig rig(profile());
    rig.OpenWithUnit();
    std::string path = rig.folder.File("other.mot");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("S1130000000102030405060708090A0B0C0D0E0F74\n", file);
    std::fclose(file);
    FillImage(rig.image(), {0, 1, 2}, 32);
    std::vector<std::uint8_t> before(rig.image().CpuRegion.begin(), rig.image().CpuRegion.end());

    rig.controller->OnStartDownload();
    rig.view.Pump(*rig.controller, 2);
    EXPECT_FALSE(rig.view.startEnabled);
    EXPECT_FALSE(rig.view.openEnabled);
    EXPECT_FALSE(rig.view.initializeEnabled);
    EXPECT_FALSE(rig.controller->CanOpenFile());
    EXPECT_FALSE(rig.controller->CanInitialize());

    rig.controller->OnStartDownload();
    rig.controller->OnFileChosen(path);
    EXPECT_FALSE(rig.controller->OnDataInitialize());
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), rig.image().CpuRegion.begin()));

    rig.Pump();
    EXPECT_EQ(CountReceived(rig.port, rig.unit, PREPARE_COMMAND_CODE), 1);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, INITIALIZE_COMMAND_CODE), 0);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, CpuCode(profile())), 3);
    ASSERT_EQ(rig.view.messages.size(), 1u);
    EXPECT_EQ(rig.view.messages[0].text, DOWNLOAD_DONE_TEXT);
}

TEST_P(DownloadSequenceTest, StaleStepsOfAnEndedRunAreIgnored) {
    ControllerRig rig(profile());
    rig.OpenWithUnit();
    FillImage(rig.image(), {0, 1}, 0);
    rig.controller->OnWindowMessage(WM_CPU_BLOCK_STEP, 0);
    rig.controller->OnWindowMessage(WM_COMMIT_STEP, 0);
    EXPECT_EQ(rig.view.Queued(), 0u);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, CpuCode(profile())), 0);
    EXPECT_EQ(CountReceived(rig.port, rig.unit, COMMIT_COMMAND_CODE), 0);
}

INSTANTIATE_TEST_SUITE_P(BothModels, DownloadSequenceTest, ::testing::ValuesIn(BothModels),
                         ModelName);

} // namespace
