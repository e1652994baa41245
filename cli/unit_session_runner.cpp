// Running the window's logic from the command line.
#include "unit_session_runner.h"

#include "interrupt_flag.h"
#include "unit_driver_port.h"

#include <cstdio>

UnitSessionRunner::UnitSessionRunner(const VariantProfile& profile)
    : m_port(CreateUnitDriverPort()), m_log(TransferLog::AtPlatformPaths()) {
    m_controller = std::make_unique<FlashTransferController>(profile, view, *m_port, m_log);
    // The device search's diagnostic prints are for a windowed program nobody watches.
    m_controller->Access().SetDiagnosticSink([](std::string_view) {});
}

UnitSessionRunner::~UnitSessionRunner() {
    m_controller->OnClose();
}

UnitSessionRunner::Found UnitSessionRunner::OpenUnit() {
    m_controller->InitializeLogic();
    if (!view.HasQueued()) {
        return Found::NoUnit; // nothing present: the poller started, nobody is plugging
    }
    if (!Pump([this] { return !view.HasQueued(); })) {
        return Found::Interrupted;
    }
    if (!m_controller->Link().IsOpen()) {
        return Found::NoUnit;
    }
    return m_controller->Session().DeviceReady() ? Found::Ready : Found::NotAnswering;
}

bool UnitSessionRunner::Pump(const std::function<bool()>& done,
                             const std::function<void()>& afterEach) {
    while (!done()) {
        if (Interrupted()) {
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

ExitCode ReportUnitNotFound(UnitSessionRunner::Found found, bool json) {
    const char* text = nullptr;
    ExitCode code = ExitCode::NoUnit;
    switch (found) {
    case UnitSessionRunner::Found::Ready:
        return ExitCode::Success;
    case UnitSessionRunner::Found::NoUnit:
        text = "no qualifying unit is attached";
        break;
    case UnitSessionRunner::Found::NotAnswering:
        text = "the unit did not answer its identity query";
        code = ExitCode::UnitRefused;
        break;
    case UnitSessionRunner::Found::Interrupted:
        text = "interrupted";
        code = ExitCode::Interrupted;
        break;
    }
    if (json) {
        std::printf("{\"result\": \"%s\", \"error\": \"%s\", \"exitCode\": %d}\n",
                    found == UnitSessionRunner::Found::Interrupted ? "interrupted" : "failed", text,
                    static_cast<int>(code));
    } else {
        std::fprintf(stderr, "knot-fdt: %s\n", text);
    }
    return code;
}
