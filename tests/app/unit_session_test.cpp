// The session and its two worker threads over an in-process simulated driver: arrival, removal,
// teardown on close, the tie-break of the watcher, and the mended cases (a foreign interface, a
// missing disconnect event, a worker that cannot start). Runs under ThreadSanitizer too.
#include "knot_names.h"

#include "case_printer.h"
#include "controller_rig.h"

#include "operator_texts.h"

#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <thread>

namespace {

using knot_test::PrintTo;

class UnitSessionTest : public ::testing::TestWithParam<const VariantProfile*> {
  protected:
    const VariantProfile& profile() { return *GetParam(); }
};

// Waits until `condition` holds or five seconds pass.
template <class Condition> bool Eventually(Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

TEST_P(UnitSessionTest, UnitPresentAtStartIsOpenedWithoutAPoller) {
    ControllerRig rig(profile());
    UnitConfig config;
    config.programName = "KNOTPROG";
    config.version = "2.10";
    config.checksum = 0xBEEF;
    rig.unit = rig.port.Plug(config);
    rig.Open();
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_ARRIVED), 1);
    EXPECT_FALSE(rig.controller->Session().IsPollerRunning());
    rig.Pump();

    const UnitSession& session = rig.controller->Session();
    EXPECT_TRUE(rig.controller->DeviceReady());
    EXPECT_TRUE(session.IsWatcherRunning());
    EXPECT_EQ(rig.view.rows[0][1], "KNOTPROG");
    EXPECT_EQ(rig.view.rows[1][1], "2.10");
    EXPECT_EQ(rig.view.rows[2][1], "BEEF");
    EXPECT_TRUE(rig.view.initializeEnabled);
    EXPECT_FALSE(rig.view.startEnabled) << "no image yet";
    EXPECT_EQ(rig.view.waitCursorDepth, 0);
    EXPECT_TRUE(rig.view.messages.empty());
}

TEST_P(UnitSessionTest, ArrivalWhilePollingPostsExactlyOneMessage) {
    ControllerRig rig(profile());
    rig.Open();
    const UnitSession& session = rig.controller->Session();
    EXPECT_TRUE(session.IsPollerRunning());
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_ARRIVED), 0);

    rig.unit = rig.port.Plug();
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_ARRIVED, 1));
    ASSERT_TRUE(Eventually([&] { return !session.IsPollerRunning(); }));
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_ARRIVED), 1);
    rig.Pump();
    EXPECT_TRUE(rig.controller->DeviceReady());
}

TEST_P(UnitSessionTest, ImageLoadedBeforeTheUnitEnablesStartOnArrivalAndAgainAfterAReplug) {
    ControllerRig rig(profile());
    FillImage(rig.image(), {0}, 0);
    rig.OpenWithUnit();
    EXPECT_TRUE(rig.view.startEnabled);

    rig.port.Unplug(rig.unit);
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_REMOVED, 1));
    rig.Pump();
    EXPECT_FALSE(rig.view.startEnabled);
    EXPECT_FALSE(rig.view.initializeEnabled);
    EXPECT_FALSE(rig.controller->DeviceReady());
    for (const auto& row : rig.view.rows) {
        EXPECT_EQ(row[1], IDENTITY_PLACEHOLDER);
    }
    EXPECT_TRUE(rig.controller->Session().IsPollerRunning());

    rig.port.Plug();
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_ARRIVED, 2));
    rig.Pump();
    EXPECT_TRUE(rig.view.startEnabled) << "no reload needed";
}

TEST_P(UnitSessionTest, ReplugBeforeTheRemovalIsHandledIsFoundWithoutPolling) {
    ControllerRig rig(profile());
    rig.OpenWithUnit();
    rig.port.Unplug(rig.unit);
    rig.port.Plug();
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_REMOVED, 1));
    rig.controller->OnWindowMessage(WM_DEVICE_REMOVED, 0);
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_ARRIVED), 2) << "posted by the detection itself";
    EXPECT_FALSE(rig.controller->Session().IsPollerRunning());
    rig.Pump();
    EXPECT_TRUE(rig.controller->DeviceReady());
}

TEST_P(UnitSessionTest, UnplugOfAUnitThatFailedItsQueryIsStillHandled) {
    ControllerRig rig(profile());
    UnitConfig config;
    config.faults.push_back(*ParseFaultSpec("silent=query:2"));
    rig.OpenWithUnit(config);
    const UnitSession& session = rig.controller->Session();
    EXPECT_FALSE(rig.controller->DeviceReady());
    EXPECT_FALSE(rig.view.initializeEnabled);
    EXPECT_TRUE(session.IsWatcherRunning());
    EXPECT_TRUE(rig.view.messages.empty());

    rig.port.Unplug(rig.unit);
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_REMOVED, 1));
    rig.Pump();
    EXPECT_FALSE(session.IsWatcherRunning());
    EXPECT_TRUE(session.IsPollerRunning());
}

TEST_P(UnitSessionTest, CloseWhilePollingStopsThePoller) {
    ControllerRig rig(profile());
    rig.Open();
    ASSERT_TRUE(rig.controller->Session().IsPollerRunning());
    rig.controller->OnClose();
    EXPECT_FALSE(rig.controller->Session().IsPollerRunning());
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_ARRIVED), 0);
}

TEST_P(UnitSessionTest, CloseWithASessionOpenEndsTheWatcherWithoutARemoval) {
    ControllerRig rig(profile());
    rig.OpenWithUnit();
    const UnitSession& session = rig.controller->Session();
    ASSERT_TRUE(session.IsWatcherRunning());
    rig.controller->OnClose();
    EXPECT_FALSE(session.IsWatcherRunning());
    EXPECT_FALSE(rig.controller->Core().Link().Link().IsOpen());
    EXPECT_EQ(session.WatcherStopEvent(), INVALID_PORT_HANDLE);
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_REMOVED), 0);
}

TEST_P(UnitSessionTest, BothEventsSignalledAtOnceEndTheWatcherWithoutARemoval) {
    ControllerRig rig(profile());
    rig.faults.HoldWaitsUntilAnEventIsSet();
    rig.OpenWithUnit();
    rig.port.Unplug(rig.unit); // the driver's event is signalled, the watcher is held
    rig.controller->OnClose(); // sets the stop event, which releases the wait
    EXPECT_FALSE(rig.controller->Session().IsWatcherRunning());
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_REMOVED), 0);
}

TEST_P(UnitSessionTest, AForeignInterfaceDoesNotMakeTheProgramDeaf) {
    ControllerRig rig(profile());
    UnitConfig foreign;
    foreign.productId = 0x1111;
    rig.port.Plug(foreign);
    rig.Open();
    rig.Pump(); // the open finds no qualifying unit
    const UnitSession& session = rig.controller->Session();
    EXPECT_FALSE(rig.controller->DeviceReady());
    EXPECT_TRUE(session.IsPollerRunning()) << "watching goes on";

    // Many polls of an unchanged count post nothing: no loop of opens.
    ASSERT_TRUE(rig.faults.WaitForEnumerations(rig.faults.Enumerations() + 10));
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_ARRIVED), 1);

    rig.unit = rig.port.Plug();
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_ARRIVED, 2));
    rig.Pump();
    EXPECT_TRUE(rig.controller->DeviceReady());
}

TEST_P(UnitSessionTest, AUnitSwappedForAForeignInterfaceBetweenTwoPollsIsFound) {
    ControllerRig rig(profile());
    UnitConfig foreign;
    foreign.productId = 0x1111;
    const std::int32_t other = rig.port.Plug(foreign);
    rig.Open();
    rig.Pump(); // the open finds no qualifying unit; the poller watches the one interface
    ASSERT_TRUE(rig.controller->Session().IsPollerRunning());

    // Unplugged and a unit plugged in between two polls: as many interfaces as before.
    rig.faults.BeforeNextEnumeration([&] {
        rig.port.Unplug(other);
        rig.unit = rig.port.Plug();
    });
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_ARRIVED, 2)) << "the poller saw no change";
    rig.Pump();
    EXPECT_TRUE(rig.controller->DeviceReady());
}

TEST_P(UnitSessionTest, AUnitGoneBeforeTheWatchersFirstLookIsNoticed) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    LogicServices services; // every worker begins only when the test says so
    services.startThread = [released](std::function<void()> body) -> std::optional<std::thread> {
        return std::thread([released, body = std::move(body)] {
            released.wait();
            body();
        });
    };
    ControllerRig rig(profile(), services);
    UnitConfig config;
    config.hasNumber = false; // the disconnect event's name is the same for every such unit
    rig.unit = rig.port.Plug(config);
    rig.Open();
    rig.Pump();
    ASSERT_TRUE(rig.controller->DeviceReady());

    // Unplugged, and another unit of the same event name plugged in, before the watcher looks.
    rig.port.Unplug(rig.unit);
    rig.unit = rig.port.Plug(config);
    release.set_value();
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_REMOVED, 1)) << "it waits on the new unit's event";
    rig.Pump();
    EXPECT_TRUE(rig.controller->DeviceReady()) << "the new unit is found";
}

TEST_P(UnitSessionTest, WithoutTheDriverEventTheUnplugIsSeenThroughTheSetupService) {
    ControllerRig rig(profile());
    UnitConfig config;
    config.hasEvent = false;
    rig.OpenWithUnit(config);
    ASSERT_TRUE(rig.controller->DeviceReady());
    ASSERT_TRUE(rig.controller->Session().IsWatcherRunning());

    rig.port.Unplug(rig.unit);
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_REMOVED, 1));
    rig.Pump();
    EXPECT_FALSE(rig.controller->DeviceReady());
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_REMOVED), 1);
}

TEST_P(UnitSessionTest, AWatcherWithoutEventEndsOnCloseWithoutARemoval) {
    ControllerRig rig(profile());
    UnitConfig config;
    config.hasEvent = false;
    rig.OpenWithUnit(config);
    rig.controller->OnClose();
    EXPECT_FALSE(rig.controller->Session().IsWatcherRunning());
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_REMOVED), 0);
}

TEST_P(UnitSessionTest, WorkersThatCannotStartLeaveTheInvalidMarker) {
    LogicServices services;
    int attempts = 0;
    services.startThread = [&](std::function<void()>) -> std::optional<std::thread> {
        ++attempts;
        return std::nullopt;
    };
    ControllerRig rig(profile(), services);
    rig.Open(); // no unit: the poller cannot start
    EXPECT_EQ(attempts, 1);
    EXPECT_FALSE(rig.controller->Session().IsPollerRunning());

    rig.unit = rig.port.Plug();
    rig.controller->OnWindowMessage(WM_DEVICE_ARRIVED, 0); // as a later arrival would
    EXPECT_EQ(attempts, 2);
    EXPECT_TRUE(rig.controller->DeviceReady()) << "the session works without a watcher";
    EXPECT_FALSE(rig.controller->Session().IsWatcherRunning());
    rig.controller->OnClose();
    EXPECT_FALSE(rig.controller->Core().Link().Link().IsOpen());
}

TEST_P(UnitSessionTest, AForeignArrivalHandledBeforeItsPollerHasEndedStillRestartsThePoller) {
    ControllerRig rig(profile());
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    // The poller's post returns only when the test says so: its arrival is handled first.
    rig.view.queue.afterPost = [released](const PostedMessage& posted) {
        if (posted.message == WM_DEVICE_ARRIVED) {
            released.wait();
        }
    };
    rig.Open();
    UnitConfig foreign;
    foreign.productId = 0x1111;
    rig.port.Plug(foreign);
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_ARRIVED, 1));
    rig.Pump(); // no unit qualifies: watching must go on
    release.set_value();

    rig.unit = rig.port.Plug();
    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_ARRIVED, 2)) << "no poller watches any more";
    rig.Pump();
    EXPECT_TRUE(rig.controller->DeviceReady());
}

TEST_P(UnitSessionTest, AUnitWhoseDescriptorFailedAtPlugInIsLookedAtAgain) {
    ControllerRig rig(profile());
    rig.faults.FailDescriptorReads(1);
    rig.unit = rig.port.Plug();
    rig.Open();
    rig.view.Pump(*rig.controller, 1); // the first look, before any retry
    ASSERT_FALSE(rig.controller->DeviceReady());

    ASSERT_TRUE(rig.view.WaitForPosted(WM_DEVICE_ARRIVED, 2)) << "the same count, tried again";
    rig.Pump();
    EXPECT_TRUE(rig.controller->DeviceReady());
}

INSTANTIATE_TEST_SUITE_P(BothModels, UnitSessionTest, ::testing::ValuesIn(BothModels), ModelName);

// A watcher stuck in the driver past its stop: the close goes on, but the logic does not go away
// under it, and what it reports afterwards reaches no window.
TEST(LateWorkerTest, AWatcherThatOverrunsItsStopIsWaitedForAndPostsNothing) {
    LogicServices services;
    services.timing.stopTimeout = std::chrono::milliseconds(10);
    ControllerRig rig(VariantQProfile(), services);
    rig.faults.BlockWaitsUntilReleased();
    rig.OpenWithUnit();
    ASSERT_TRUE(rig.controller->Session().IsWatcherRunning());
    rig.controller->OnClose(); // the watcher overruns
    EXPECT_FALSE(rig.controller->Core().Link().Link().IsOpen()) << "the teardown went on";

    std::mutex mutex;
    std::condition_variable changed;
    bool destroyed = false;
    std::thread teardown([&] {
        rig.controller.reset();
        std::lock_guard lock(mutex);
        destroyed = true;
        changed.notify_all();
    });
    bool destroyedWhileBlocked;
    {
        // Longer than any grace a teardown might give a late worker before leaving it behind.
        std::unique_lock lock(mutex);
        destroyedWhileBlocked =
            changed.wait_for(lock, std::chrono::milliseconds(1500), [&] { return destroyed; });
    }
    rig.faults.ReleaseWaits(); // the driver returns: the watcher sees the unplug
    teardown.join();
    EXPECT_FALSE(destroyedWhileBlocked) << "the logic went while its worker was in the driver";
    EXPECT_EQ(rig.view.PostedCount(WM_DEVICE_REMOVED), 0) << "a stopped worker posted";
}

} // namespace
