// Running the window's logic from the command line.
#include "unit_session_runner.h"

#include "interface_presence.h"
#include "interrupt_flag.h"
#include "unit_choice.h"
#include "unit_driver_port.h"

#include <nlohmann/json.hpp>

#include <cstdio>

UnitSessionRunner::UnitSessionRunner(const VariantProfile& profile, const std::string& devicePath,
                                     TransferLog* sharedLog)
    : m_machinePort(CreateUnitDriverPort()),
      // The platform's paths are looked up only without a shared log: the lookup reads the user
      // database, which is not safe from several lanes at once.
      m_ownLog(sharedLog != nullptr ? TransferLog(std::string(), std::string())
                                    : TransferLog::AtPlatformPaths()) {
    if (devicePath.empty()) {
        m_port = std::move(m_machinePort);
    } else {
        m_port = std::make_unique<ChosenUnitPort>(*m_machinePort, devicePath);
    }
    m_controller = std::make_unique<FlashTransferController>(
        profile, view, *m_port, sharedLog != nullptr ? *sharedLog : m_ownLog);
    // The device search's diagnostic prints are for a windowed program nobody watches.
    m_controller->Access().SetDiagnosticSink([](std::string_view) {});
}

UnitSessionRunner::~UnitSessionRunner() {
    m_controller->OnClose();
}

UnitSessionRunner::Found UnitSessionRunner::OpenUnit() {
    m_controller->InitializeLogic();
    if (!view.HasQueued()) {
        return Found::NoInterface; // nothing present: the poller started, nobody is plugging
    }
    m_answeredRows = view.values;
    auto notePath = [this] {
        // The first message handled is the arrival: it opened the unit and queried it.
        if (m_openedPath.empty()) {
            m_openedPath = m_controller->Session().DevicePath();
            m_openedNumber = m_controller->Link().deviceNumber;
            m_answeredRows = view.values;
        }
    };
    // The arrival opens the unit and queries it; a removal meanwhile is queued behind it.
    bool pumped = Pump([this] { return !view.HasQueued(); }, notePath);
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
    return Found::NotAnswering;
}

bool UnitSessionRunner::Pump(const std::function<bool()>& done,
                             const std::function<void()>& afterEach,
                             const std::function<bool()>& ignoreInterrupt) {
    while (!done()) {
        if (Interrupted() && !(ignoreInterrupt && ignoreInterrupt())) {
            return false;
        }
        std::optional<QueuedMessage> next = view.Next(std::chrono::milliseconds(100));
        if (next) {
            m_controller->OnWindowMessage(next->message, next->wParam);
            if (afterEach) {
                afterEach();
            }
        }
    }
    return true;
}

UnitNotFound DescribeUnitNotFound(UnitSessionRunner::Found found) {
    switch (found) {
    case UnitSessionRunner::Found::Ready:
        break;
    case UnitSessionRunner::Found::NoInterface:
        return {"no-unit", NoInterfaceText(*CreateUnitDriverPort()), ExitCode::NoUnit};
    case UnitSessionRunner::Found::NoUnit:
        return {"no-unit", "no qualifying unit is attached", ExitCode::NoUnit};
    case UnitSessionRunner::Found::NotAnswering:
        return {"refused", "the unit did not answer its identity query", ExitCode::UnitRefused};
    case UnitSessionRunner::Found::Removed:
        return {"removed", "the unit was unplugged during its identity query",
                ExitCode::UnitRefused};
    case UnitSessionRunner::Found::Interrupted:
        return {"interrupted", "interrupted", ExitCode::Interrupted};
    }
    return {"ok", "", ExitCode::Success};
}

ExitCode ReportUnitNotFound(UnitSessionRunner::Found found, bool json) {
    UnitNotFound what = DescribeUnitNotFound(found);
    if (json) {
        nlohmann::ordered_json out{{"result", what.result},
                                   {"error", what.text},
                                   {"exitCode", static_cast<int>(what.code)}};
        std::printf("%s\n", out.dump().c_str());
    } else {
        std::fprintf(stderr, "knot-fdt: %s\n", what.text.c_str());
    }
    return what.code;
}

SingleUnit ChooseSingleUnit(const UnitChoice& choice, bool json) {
    SingleUnit single;
    if (!choice.Named()) {
        return single;
    }
    std::unique_ptr<DriverPort> port = CreateUnitDriverPort();
    ChosenUnits chosen = ChooseUnits(choice, *port);
    if (chosen.code == ExitCode::Success) {
        single.path = chosen.paths.front();
        return single;
    }
    single.code = chosen.code;
    if (json) {
        nlohmann::ordered_json out{{"result", "no-unit"},
                                   {"error", chosen.error},
                                   {"exitCode", static_cast<int>(chosen.code)}};
        std::printf("%s\n", out.dump().c_str());
    } else {
        std::fprintf(stderr, "knot-fdt: %s\n", chosen.error.c_str());
    }
    return single;
}
