// The download as the window runs it when its unit goes away: during each stage, while a box is
// open, and with another unit found in its place.
#include "knot_names.h"

#include "case_printer.h"
#include "controller_rig.h"

#include "command_texts.h"
#include "operator_texts.h"
#include "string_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

namespace {

using knot_test::PrintTo;

class DownloadUnplugTest : public ::testing::TestWithParam<const VariantProfile*> {
  protected:
    const VariantProfile& profile() { return *GetParam(); }
};

// Pumps one message at a time until `done` holds; false if the queue ran dry first.
template <class Done> bool PumpUntil(ControllerRig& rig, Done done) {
    while (!done()) {
        if (rig.view.Pump(*rig.controller, 1) == 0) {
            return false;
        }
    }
    return true;
}

enum class UnplugMoment { CpuPhase, FlashPhase, Wait };

const char* MomentName(UnplugMoment moment) {
    switch (moment) {
    case UnplugMoment::CpuPhase:
        return "CpuPhase";
    case UnplugMoment::FlashPhase:
        return "FlashPhase";
    case UnplugMoment::Wait:
        return "Wait";
    }
    return "?";
}

void PrintTo(UnplugMoment moment, std::ostream* out) {
    *out << MomentName(moment);
}

// Where the unplug falls, and whether its message is handled before the step already queued.
class UnplugDuringRunTest
    : public ::testing::TestWithParam<std::tuple<const VariantProfile*, UnplugMoment, bool>> {};

TEST_P(UnplugDuringRunTest, EndsTheRunOnceAndSendsNothingAfterTheRemoval) {
    const auto& [model, moment, removalFirst] = GetParam();
    ControllerRig rig(*model);
    rig.OpenWithUnit();
    FillImage(rig.image(), {0, 1, 2, 3, 4, 5, 6, 7, 8000}, 0x100);
    rig.controller->SetCommitWait({50, std::chrono::milliseconds(0)});
    std::string statusUnderBox = "?";
    rig.view.inMessageBox = [&](const ShownMessage&) {
        rig.Pump(); // the box's own loop
        statusUnderBox = rig.view.status;
    };
    rig.controller->OnStartDownload();
    const DownloadReport& report = rig.controller->Core().Report();
    ASSERT_TRUE(PumpUntil(rig, [&] {
        switch (moment) {
        case UnplugMoment::CpuPhase:
            return report.cpuBlocksSent >= 3;
        case UnplugMoment::FlashPhase:
            return report.flashBlocksSent >= 2;
        case UnplugMoment::Wait:
            return report.waitStepsDone >= 10;
        }
        return true;
    }));

    std::optional<PostedMessage> queuedStep;
    if (removalFirst) {
        queuedStep = rig.view.Take(); // handled after the removal, as a stale step
        ASSERT_TRUE(queuedStep.has_value());
    }
    ASSERT_TRUE(rig.port.Unplug(rig.unit));
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_REMOVED, 1));
    int sendsBefore = rig.faults.SendsOffered();
    rig.Pump();
    if (queuedStep) {
        rig.controller->OnWindowMessage(queuedStep->message, queuedStep->wParam);
        EXPECT_EQ(rig.faults.SendsOffered(), sendsBefore) << "nothing is sent after the removal";
        EXPECT_EQ(report.failure->cause, Cause::UnitRemoved);
    }
    rig.Pump();

    ASSERT_EQ(rig.view.messages.size(), 1u);
    EXPECT_EQ(rig.view.messages[0].text, DOWNLOAD_FAILED_TEXT);
    EXPECT_EQ(statusUnderBox, STATUS_EMPTY) << "gone with the rows and the bar, before the box";
    EXPECT_EQ(rig.view.status, STATUS_EMPTY);
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_FALSE(report.succeeded);
    EXPECT_LE(rig.faults.SendsOffered(), sendsBefore + 1) << "at most the queued block was tried";
    EXPECT_EQ(rig.view.PostedCount(WM_COMMIT_STEP) > 0, moment == UnplugMoment::Wait);
    EXPECT_FALSE(rig.view.startEnabled) << "no unit: Start stays off after the failure";
    EXPECT_FALSE(rig.view.initializeEnabled);
    EXPECT_TRUE(rig.view.openEnabled);
    EXPECT_FALSE(rig.controller->IsDownloadRunning());
    EXPECT_EQ(rig.view.Queued(), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothModels, UnplugDuringRunTest,
                         ::testing::Combine(::testing::ValuesIn(BothModels),
                                            ::testing::Values(UnplugMoment::CpuPhase,
                                                              UnplugMoment::FlashPhase,
                                                              UnplugMoment::Wait),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(
                                        std::get<0>(info.param)->modelName[5] == 'Q' ? "Q" : "P") +
                                    "_" + MomentName(std::get<1>(info.param)) +
                                    (std::get<2>(info.param) ? "_RemovalFirst" : "_StepFirst");
                         });

TEST_P(DownloadUnplugTest, UnitFoundAgainDoesNotCarryOnTheRun) {
    ControllerRig rig(profile());
    rig.OpenWithUnit();
    FillImage(rig.image(), {0, 1, 2, 3, 4, 5}, 32);
    rig.controller->OnStartDownload();
    const DownloadReport& report = rig.controller->Core().Report();
    ASSERT_TRUE(PumpUntil(rig, [&] { return report.cpuBlocksSent >= 2; }));

    ASSERT_TRUE(rig.port.Unplug(rig.unit));
    UnitConfig other;
    other.number = 7; // a unit of its own, with its own disconnect event
    std::int32_t second = rig.port.Plug(other);
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_REMOVED, 1));
    rig.Pump();

    EXPECT_EQ(rig.view.messages.back().text, DOWNLOAD_FAILED_TEXT);
    EXPECT_TRUE(rig.controller->DeviceReady()) << "the new unit is found and queried";
    EXPECT_EQ(CountReceived(rig.port, second, CpuCode(profile())), 0);
    EXPECT_EQ(CountReceived(rig.port, second, PREPARE_COMMAND_CODE), 0);
    // An image is loaded and the new unit is ready: Start is offered for a fresh run.
    EXPECT_TRUE(rig.view.startEnabled);
}

TEST_P(DownloadUnplugTest, UnplugWhileTheFailureBoxIsOpenLeavesStartOff) {
    ControllerRig rig(profile());
    UnitConfig config;
    config.faults.push_back(*ParseFaultSpec("refuse=cpu:1"));
    rig.OpenWithUnit(config);
    FillImage(rig.image(), {0}, 0);
    rig.view.inMessageBox = [&](const ShownMessage&) {
        rig.view.inMessageBox = nullptr;
        rig.port.Unplug(rig.unit);
        ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_REMOVED, 1));
        rig.Pump(); // the box's own loop
        EXPECT_EQ(rig.view.status, STATUS_EMPTY) << "gone with the rows and the bar";
    };
    rig.controller->OnStartDownload();
    rig.Pump();
    EXPECT_EQ(rig.view.messages.size(), 1u);
    EXPECT_FALSE(rig.view.startEnabled);
}

TEST_P(DownloadUnplugTest, UnplugWhileTheSuccessBoxIsOpenKeepsTheSuccessAndStartOff) {
    ControllerRig rig(profile());
    rig.OpenWithUnit();
    FillImage(rig.image(), {0}, 0);
    rig.controller->SetCommitWait({2, std::chrono::milliseconds(0)});
    rig.view.inMessageBox = [&](const ShownMessage&) {
        rig.view.inMessageBox = nullptr;
        rig.port.Unplug(rig.unit);
        ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_REMOVED, 1));
        rig.Pump(); // the box's own loop
    };
    rig.controller->OnStartDownload();
    rig.Pump();
    ASSERT_EQ(rig.view.messages.size(), 1u) << "no failure reported after the success";
    EXPECT_EQ(rig.view.messages[0].text, DOWNLOAD_DONE_TEXT);
    EXPECT_TRUE(rig.controller->Core().Report().succeeded);
    EXPECT_FALSE(rig.controller->Core().Report().failure.has_value());
    EXPECT_FALSE(rig.view.startEnabled);
    EXPECT_FALSE(rig.view.initializeEnabled);
    EXPECT_TRUE(rig.view.openEnabled);
    EXPECT_EQ(rig.view.status, STATUS_EMPTY);
    EXPECT_TRUE(rig.controller->Session().IsPollerRunning()) << "watching for the next unit";
}

INSTANTIATE_TEST_SUITE_P(BothModels, DownloadUnplugTest, ::testing::ValuesIn(BothModels),
                         ModelName);

} // namespace
