// The logic wired as the window wires it, over an in-process simulated unit: a controller, a
// recording view, a trace log in a scratch folder, a fake clock for the commit wait and a beep
// counter. Tests plug units into `port` and pump the view's queue.
#pragma once

#include "knot_names.h"

#include "controller_test_support.h"
#include "fault_port.h"
#include "recording_view.h"

#include "firmware_image.h"
#include "flash_transfer_controller.h"
#include "loopback_driver_port.h"
#include "transfer_log.h"
#include "variant_profile.h"

#include <chrono>
#include <memory>

struct ControllerRig {
    explicit ControllerRig(const VariantProfile& profile, LogicServices services = {})
        : profile(profile), log(folder.File("debugZu.txt"), folder.File("debugZu.1.txt")) {
        services.sleep = [this](std::chrono::milliseconds duration) {
            ++sleeps;
            slept += duration;
        };
        services.beep = [this] { ++beeps; };
        services.diagnostics = [](std::string_view) {};
        if (services.timing.pollInterval == SessionTiming{}.pollInterval) {
            services.timing.pollInterval = std::chrono::milliseconds(5);
            services.timing.presenceInterval = std::chrono::milliseconds(5);
            services.timing.retryInterval = std::chrono::milliseconds(5);
        }
        controller =
            std::make_unique<FlashTransferController>(profile, view, faults, log, services);
    }
    ~ControllerRig() {
        if (controller) {
            controller->OnClose();
        }
    }

    // The window's start-up: Start off, then the logic's initialisation.
    void Open() {
        view.EnableStart(false);
        controller->InitializeLogic();
    }
    // Start-up with a unit already attached, pumped until the unit is ready.
    // When the unit has a disconnect event, also waits until the watcher waits on it, so that
    // a test's unplug is never earlier than the watcher's look at the event.
    void OpenWithUnit(UnitConfig config = {}) {
        unit = port.Plug(config);
        int waits = faults.EventWaits();
        Open();
        view.Pump(*controller);
        if (config.hasEvent && controller->Session().IsWatcherRunning()) {
            faults.WaitForEventWaits(waits + 1);
        }
    }
    FirmwareImage& image() { return controller->Image(); }
    int Pump() { return view.Pump(*controller); }

    const VariantProfile& profile;
    ScratchFolder folder;
    TransferLog log;
    LoopbackDriverPort port;
    FaultPort faults{port};
    RecordingView view;
    std::unique_ptr<FlashTransferController> controller;
    std::int32_t unit = -1;
    int sleeps = 0;
    std::chrono::milliseconds slept{0};
    int beeps = 0;
};
