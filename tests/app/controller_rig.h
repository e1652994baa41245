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
#include <cstdio>
#include <memory>
#include <string>

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

// Packets with `code` that unit `number` received, from the unit's capture.
inline int CountReceived(const LoopbackDriverPort& port, std::int32_t number, CommandCode code) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%d R ", number);
    int count = 0;
    for (const std::string& line : port.CaptureLines()) {
        if (line.rfind(prefix, 0) == 0) {
            std::string hex = line.substr(std::string(prefix).size());
            // bytes 10-11 hold the code under the two status bits
            unsigned value = std::stoul(hex.substr(20, 4), nullptr, 16) & COMMAND_CODE_MASK;
            count += value == code;
        }
    }
    return count;
}

inline CommandCode CpuCode(const VariantProfile& p) {
    return DATA_BLOCK_CODE_BASE + p.cpuBlockType;
}
inline CommandCode FlashCode(const VariantProfile& p) {
    return DATA_BLOCK_CODE_BASE + p.flashBlockType;
}
