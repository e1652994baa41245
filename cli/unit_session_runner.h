// What the unit commands share: the window's logic (FlashTransferController) over the machine's
// driver port and trace log, with knot-fdt's view, and the loop that handles posted messages.
#pragma once

#include "console_view.h"
#include "exit_codes.h"

#include "flash_transfer_controller.h"
#include "transfer_log.h"

#include <functional>
#include <memory>

struct VariantProfile;

class UnitSessionRunner {
  public:
    explicit UnitSessionRunner(const VariantProfile& profile);
    // Stops the workers and closes the unit, as the window's close does.
    ~UnitSessionRunner();

    enum class Found { Ready, NoUnit, NotAnswering, Interrupted };
    // Starts watching as the window does and handles the arrival: opens the unit and reads its
    // identity. Does not wait for a unit that is not attached yet.
    Found OpenUnit();
    // Handles posted messages until `done` holds. `afterEach` runs after each one. Returns false
    // when Ctrl-C came first (the message being handled is finished).
    bool Pump(const std::function<bool()>& done, const std::function<void()>& afterEach = {});

    ConsoleView view;
    FlashTransferController& controller() { return *m_controller; }

  private:
    std::unique_ptr<DriverPort> m_port;
    TransferLog m_log;
    std::unique_ptr<FlashTransferController> m_controller;
};

// The exit status and text for a unit that could not be opened and read.
ExitCode ReportUnitNotFound(UnitSessionRunner::Found found, bool json);
