// Running the window's logic from the command line.
#include "unit_session_runner.h"

#include "chosen_unit_port.h"
#include "interface_survey.h"
#include "interrupt_flag.h"
#include "json_output.h"
#include "unit_choice.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace knot::cli {
using namespace knot::device;

UnitSessionRunner::UnitSessionRunner(const DriverPortFactory& ports, const VariantProfile& profile,
                                     const std::string& devicePath, TransferLog* sharedLog,
                                     std::optional<std::int32_t> deviceNumber)
    : m_machinePort(ports()),
      // The platform's paths are looked up only without a shared log: the lookup reads the user
      // database, which is not safe from several lanes at once.
      m_ownLog(sharedLog != nullptr ? TransferLog(std::string(), std::string())
                                    : TransferLog::AtPlatformPaths()),
      m_devicePath(devicePath), m_deviceNumber(deviceNumber) {
    if (devicePath.empty()) {
        m_port = std::make_unique<ForwardingDriverPort>(*m_machinePort);
    } else {
        m_port = std::make_unique<ChosenUnitPort>(*m_machinePort, devicePath);
    }
    m_controller = std::make_unique<FlashTransferController>(
        profile, m_host, *m_port, sharedLog != nullptr ? *sharedLog : m_ownLog);
    m_controller->AddObserver(*this);
    // The device search's diagnostic prints are for a windowed program nobody watches.
    m_controller->Access().SetDiagnosticSink([](std::string_view) {});
}

UnitSessionRunner::~UnitSessionRunner() {
    m_controller->OnClose();
}

UnitSessionRunner::Found UnitSessionRunner::OpenUnit(bool forWriting) {
    if (forWriting && !m_devicePath.empty()) {
        const LockOutcome lock = m_controller->ReserveUnit(m_devicePath);
        if (lock != LockOutcome::Held) {
            return lock == LockOutcome::Busy ? Found::Busy : Found::LockFailed;
        }
    }
    m_controller->InitializeLogic();
    if (m_host.queue.Queued() == 0) {
        return Found::NoInterface; // nothing present: the poller started, nobody is plugging
    }
    m_answeredRows = m_controller->DeviceInfo().Values();
    // The arrival opens the unit and queries it; a removal meanwhile is queued behind it.
    bool pumped = Pump([this] { return m_host.queue.Queued() == 0; });
    if (!pumped || Interrupted()) {
        return Found::Interrupted; // a query that ended because of Ctrl-C says nothing of the unit
    }
    if (m_controller->Session().DeviceReady()) {
        return Found::Ready;
    }
    if (m_openedPath.empty()) {
        return Found::NoUnit;
    }
    // Opened but not answering: whether the watcher already saw the removal or not, the unit
    // is gone when its interface is no longer present.
    if (!m_controller->Link().IsOpen() || !IsInterfacePresent(*m_port, m_openedPath)) {
        return Found::Removed;
    }
    switch (m_controller->DeviceInfo().QueryFault()) {
    case IdentityFault::Refused:
        return Found::Refused;
    case IdentityFault::OutOfTurn:
        return Found::OutOfTurn;
    case IdentityFault::LinkFailed:
        return Found::LinkFailed;
    default:
        return Found::NoAnswer;
    }
}

bool UnitSessionRunner::Pump(const std::function<bool()>& done,
                             const std::function<void()>& afterEach,
                             const std::function<bool()>& ignoreInterrupt) {
    while (!done()) {
        if (Interrupted() && !(ignoreInterrupt && ignoreInterrupt())) {
            return false;
        }
        std::optional<PostedMessage> next = m_host.queue.Next(std::chrono::milliseconds(100));
        if (next) {
            m_controller->OnWindowMessage(next->message, next->wParam);
            if (afterEach) {
                afterEach();
            }
        }
    }
    return true;
}

void UnitSessionRunner::OnLogicEvent(const LogicEvent& event) {
    // The first unit opened is the one the runner speaks of, with the rows of its first query.
    if (const auto* arrived = std::get_if<UnitArrived>(&event); arrived && !m_bOpened) {
        m_bOpened = true;
        m_openedPath = arrived->devicePath;
        m_openedNumber = arrived->deviceNumber;
    } else if (const auto* read = std::get_if<IdentityRead>(&event); read && !m_bQueried) {
        m_bQueried = true;
        m_answeredRows = read->rows;
    }
}

UnitNotFound DescribeUnitNotFound(const UnitSessionRunner& runner, UnitSessionRunner::Found found) {
    using Found = UnitSessionRunner::Found;
    const std::optional<std::int32_t> number = runner.DeviceNumber();
    const std::string unit = number ? "unit " + std::to_string(*number) : "the unit";
    const ExitCode noAnswer = ExitCode::UnitRefused;
    switch (found) {
    case Found::Ready:
        break;
    case Found::NoInterface:
        return {"no-unit", NoInterfaceText(runner.MachinePort()), ExitCode::NoUnit, "identity"};
    case Found::NoUnit:
        return {"no-unit", "no qualifying unit is attached", ExitCode::NoUnit, "identity"};
    case Found::Busy:
        return {"busy", unit + " is busy: another program is writing it", ExitCode::UnitBusy,
                "lock"};
    case Found::LockFailed:
        return {"lock-failed", unit + " cannot be locked for writing: " + runner.LockProblem(),
                ExitCode::UnitBusy, "lock"};
    case Found::Refused:
        return {"refused", "the unit refused its identity query", noAnswer, "identity"};
    case Found::NoAnswer:
        return {"no-answer", "the unit did not answer its identity query", noAnswer, "identity"};
    case Found::OutOfTurn:
        return {"out-of-turn",
                "the unit kept answering its identity query out of turn (answers of the wrong "
                "size or for another command)",
                noAnswer, "identity"};
    case Found::LinkFailed:
        return {"link-failed", "the driver did not take the identity query", noAnswer, "identity"};
    case Found::Removed:
        return {"removed", "the unit was unplugged during its identity query", noAnswer,
                "identity"};
    case Found::Interrupted:
        return {"interrupted", "interrupted", ExitCode::Interrupted, "identity"};
    }
    return {"ok", "", ExitCode::Success, ""};
}

ExitCode ReportUnitNotFound(const UnitSessionRunner& runner, UnitSessionRunner::Found found,
                            bool json) {
    UnitNotFound what = DescribeUnitNotFound(runner, found);
    if (json) {
        nlohmann::ordered_json out{{"result", what.cause},
                                   {"error", what.text},
                                   {"exitCode", static_cast<int>(what.code)}};
        std::printf("%s\n", DumpLine(out).c_str());
    } else {
        std::fprintf(stderr, "knot-fdt: %s\n", what.text.c_str());
    }
    return what.code;
}

SingleUnit ChooseSingleUnit(const UnitChoice& choice, DriverPort& port, bool json,
                            bool forWriting) {
    SingleUnit single;
    if (!choice.Named() && !forWriting) {
        return single;
    }
    if (!choice.Named()) {
        // The unit the window's rule takes; when none qualifies, the opening says so.
        for (const UnitInterface& unit : SurveyUnits(port)) {
            if (unit.qualifies) {
                single.path = unit.path;
                single.number = unit.deviceNumber;
                break;
            }
        }
        return single;
    }
    ChosenUnits chosen = ChooseUnits(choice, port);
    if (chosen.code == ExitCode::Success) {
        single.path = chosen.paths.front();
        single.number = chosen.numbers.front();
        return single;
    }
    single.code = chosen.code;
    if (json) {
        nlohmann::ordered_json out{{"result", "no-unit"},
                                   {"error", chosen.error},
                                   {"exitCode", static_cast<int>(chosen.code)}};
        std::printf("%s\n", DumpLine(out).c_str());
    } else {
        std::fprintf(stderr, "knot-fdt: %s\n", chosen.error.c_str());
    }
    return single;
}

} // namespace knot::cli
