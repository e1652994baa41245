// A unit's run in a plain loop.
#include "unit_run.h"

#include "chosen_unit_port.h"
#include "forwarding_driver_port.h"
#include "interface_survey.h"
#include "operator_texts.h"

namespace knot::logic {
using namespace knot::device;

namespace {

std::unique_ptr<DriverPort> Narrowed(DriverPort& machine, const std::string& devicePath) {
    if (devicePath.empty()) {
        return std::make_unique<ForwardingDriverPort>(machine);
    }
    return std::make_unique<ChosenUnitPort>(machine, devicePath);
}

SleepFunction RealSleep(SleepFunction sleep) {
    return sleep ? std::move(sleep) : WithDefaults({}).sleep;
}

} // namespace

UnitRun::UnitRun(const VariantProfile& profile, DriverPort& machinePort, TransferLog& log,
                 LogicObserver& events, UnitRunSettings settings)
    : m_settings(std::move(settings)), m_port(Narrowed(machinePort, m_settings.devicePath)),
      m_core(profile, *m_port, log, events, RealSleep(m_settings.sleep),
             m_settings.beep ? m_settings.beep : BeepFunction(PlatformBeep)),
      m_lock(*m_port) {
    // The device search's diagnostic prints are for a windowed program nobody watches.
    m_core.Link().Access().SetDiagnosticSink([](std::string_view) {});
    m_answeredRows.fill(IDENTITY_PLACEHOLDER);
}

UnitRun::~UnitRun() {
    m_watch.reset();
    m_core.Link().Close();
}

std::optional<Failure> UnitRun::TakeLock(const std::string& path) {
    switch (m_lock.Take(path)) {
    case LockOutcome::Held:
        return std::nullopt;
    case LockOutcome::Busy:
        return Failure{Stage::Lock, 0, Cause::Busy};
    default:
        return Failure{Stage::Lock, 0, Cause::LockFailed};
    }
}

std::optional<Failure> UnitRun::Open() {
    // A unit another program writes receives not a packet: its lock comes first.
    if (m_settings.forWriting && !m_settings.devicePath.empty()) {
        if (std::optional<Failure> busy = TakeLock(m_settings.devicePath)) {
            return busy;
        }
    }
    if (StopRequested()) {
        return Failure{Stage::Identity, 0, Cause::Interrupted};
    }
    m_anyInterface = CountDeviceInterfaces(*m_port) != 0;
    if (!m_anyInterface || !m_core.Link().Open()) {
        return Failure{Stage::Identity, 0, Cause::NoUnit};
    }
    if (m_settings.forWriting && !m_lock.Held()) {
        // No unit was named: the one that was opened is locked before anything is sent to it.
        if (std::optional<Failure> busy = TakeLock(m_core.Link().DevicePath())) {
            return busy;
        }
    }
    m_watch.emplace(m_core.Link(), m_settings.presenceInterval);
    std::optional<Failure> failure = m_core.DeviceInfo().QueryDeviceInfo();
    m_answeredRows = m_core.Identity();
    if (StopRequested()) {
        return Failure{Stage::Identity, 0, Cause::Interrupted}; // says nothing of the unit
    }
    // A unit that stopped answering because it went away was unplugged.
    if (failure && (m_watch->Removed() || !IsInterfacePresent(*m_port, OpenedPath()))) {
        failure->cause = Cause::Removed;
    }
    return failure;
}

const DownloadReport& UnitRun::Download(const FirmwareImage& image, const CommitWait& wait) {
    m_core.Begin(image, wait);
    while (m_core.IsRunning()) {
        if (StopRequested() && !(m_settings.finishCommittedWait && m_core.Report().commitSent)) {
            m_stopped = true;
            m_core.Cancel(); // between two steps: nothing more goes to the unit
            break;
        }
        if (m_watch && m_watch->Removed()) {
            m_core.OnUnitRemoved();
            break;
        }
        m_core.Advance();
    }
    return m_core.Report();
}

Exchange UnitRun::Initialize() {
    return m_core.InitializeSettingData();
}

} // namespace knot::logic
