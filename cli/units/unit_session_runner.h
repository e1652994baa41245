// What the unit commands share: the window's logic (FlashTransferController) over the machine's
// driver port and trace log, hosted without a window (its posted messages in the logic's queue),
// and the loop that handles them. The commands hear what happens as the logic's events.
#pragma once

#include "driver_port_factory.h"
#include "exit_codes.h"

#include "flash_transfer_controller.h"
#include "logic_events.h"
#include "posted_message_queue.h"
#include "transfer_log.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace knot::core {
struct VariantProfile;
} // namespace knot::core

namespace knot::cli {
using namespace knot::core;
using namespace knot::device;
using namespace knot::logic;

class UnitSessionRunner : private LogicObserver {
  public:
    // `ports` makes the runner's port. `devicePath`: talk to the unit at that path only; empty: the
    // first qualifying unit, as the window does. `sharedLog`: the trace log to write (several
    // runners at once share one); null: the runner's own log at the platform's paths.
    // `deviceNumber`: the chosen unit's, for what the runner says of it.
    UnitSessionRunner(const DriverPortFactory& ports, const VariantProfile& profile,
                      const std::string& devicePath = {}, TransferLog* sharedLog = nullptr,
                      std::optional<std::int32_t> deviceNumber = {});
    // Stops the workers and closes the unit, as the window's close does.
    ~UnitSessionRunner() override;

    // How the opening ended: ready, no unit, busy (another program writes it), its lock could not
    // be taken, the identity query's fault (refused, no answer, answers out of turn, a send the
    // driver did not take), unplugged during the query, or Ctrl-C.
    enum class Found {
        Ready,
        NoInterface,
        NoUnit,
        Busy,
        LockFailed,
        Refused,
        NoAnswer,
        OutOfTurn,
        LinkFailed,
        Removed,
        Interrupted
    };
    // Starts watching as the window does and handles the arrival: opens the unit and reads its
    // identity. Does not wait for a unit that is not attached yet. `forWriting` (flash,
    // initialize): first takes the chosen unit's lock, which the runner holds until it ends, so
    // that a unit another program writes receives not a packet.
    Found OpenUnit(bool forWriting = false);
    // Handles posted messages until `done` holds. `afterEach` runs after each one. Returns false
    // when Ctrl-C came first (the message being handled is finished), unless `ignoreInterrupt`
    // holds then.
    bool Pump(const std::function<bool()>& done, const std::function<void()>& afterEach = {},
              const std::function<bool()>& ignoreInterrupt = {});

    // The path and device number of the unit that was opened, kept after a removal tore the
    // session down.
    const std::string& OpenedPath() const { return m_openedPath; }
    std::int32_t OpenedNumber() const { return m_openedNumber; }
    // The identity rows as the unit's first query left them (told by the logic), before a removal
    // could reset them.
    const IdentityValues& AnsweredRows() const { return m_answeredRows; }
    // The chosen unit's number, when it was chosen.
    std::optional<std::int32_t> DeviceNumber() const { return m_deviceNumber; }
    // Why the unit's lock could not be taken (Found::LockFailed).
    const std::string& LockProblem() const { return m_controller->LockProblem(); }
    // The port the runner made, every interface of it.
    DriverPort& MachinePort() const { return *m_machinePort; }

    FlashTransferController& controller() { return *m_controller; }

  private:
    void OnLogicEvent(const LogicEvent& event) override;

    QueuedHost m_host;
    std::unique_ptr<DriverPort> m_machinePort;
    std::unique_ptr<DriverPort> m_port;
    TransferLog m_ownLog; // used when no log is shared; without paths otherwise
    std::unique_ptr<FlashTransferController> m_controller;
    bool m_bOpened = false;
    bool m_bQueried = false;
    std::string m_openedPath;
    std::int32_t m_openedNumber = 0;
    IdentityValues m_answeredRows;
    std::string m_devicePath;
    std::optional<std::int32_t> m_deviceNumber;
};

struct UnitChoice;

// The device path a single-unit command talks to ("" for the first qualifying unit) and its
// number on `port`, or the exit status after the reason was printed (as JSON with `json`).
// `forWriting`: without a unit named, the first qualifying unit is looked up, so that its lock can
// be taken before it is opened.
struct SingleUnit {
    std::string path;
    std::optional<std::int32_t> number;
    ExitCode code = ExitCode::Success;
};
SingleUnit ChooseSingleUnit(const UnitChoice& choice, DriverPort& port, bool json,
                            bool forWriting = false);

// The operator's text and exit status for a unit that could not be opened and read, and the cause
// its record's failure names.
struct UnitNotFound {
    const char* cause; // "no-unit", "busy", "refused", "no-answer", "removed", ...
    std::string text;
    ExitCode code;
    const char* stage; // where it stopped: "lock" or "identity"
};
UnitNotFound DescribeUnitNotFound(const UnitSessionRunner& runner, UnitSessionRunner::Found found);

// Prints that text (or a JSON object with it) and returns the exit status.
ExitCode ReportUnitNotFound(const UnitSessionRunner& runner, UnitSessionRunner::Found found,
                            bool json);

} // namespace knot::cli
