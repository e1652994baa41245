// The window's logic: commands, the rules of Start, Open and Initialize, the session's events
// and the download's steps as posted messages.
#include "flash_transfer_controller.h"

#include "operator_texts.h"
#include "platform_beep.h"
#include "string_table.h"
#include "variant_profile.h"

namespace knot::logic {
using namespace knot::core;
using namespace knot::device;

namespace {

LogicServices Completed(LogicServices services) {
    services = WithDefaults(std::move(services));
    if (!services.beep) {
        services.beep = PlatformBeep;
    }
    return services;
}

// The posted message that carries a step of `stage`.
WindowMessage StepMessage(Stage stage) {
    switch (stage) {
    case Stage::CpuBlocks:
        return WM_CPU_BLOCK_STEP;
    case Stage::FlashBlocks:
        return WM_FLASH_BLOCK_STEP;
    default:
        return WM_COMMIT_STEP;
    }
}

} // namespace

FlashTransferController::FlashTransferController(const VariantProfile& profile,
                                                 FlashTransferView& view, DriverPort& port,
                                                 TransferLog& log, LogicServices services)
    : m_profile(profile), m_view(view), m_renderer(view),
      m_services(Completed(std::move(services))), m_caption(ProgramTitle(profile)),
      m_image(std::make_unique<FirmwareImage>()),
      m_core(profile, port, log, *this, m_services.sleep, m_services.beep),
      m_unitLock(port), m_wait{profile.commitWaitSteps, COMMIT_WAIT_TICK},
      m_session(view, m_core.Link(), m_services) {
    m_events.Add(m_renderer);
    if (m_services.diagnostics) {
        m_core.Link().Access().SetDiagnosticSink(m_services.diagnostics);
    }
}

FlashTransferController::~FlashTransferController() {
    m_session.StopWorkers();
}

void FlashTransferController::InitializeLogic() {
    m_core.DeviceInfo().ResetDeviceInfo();
    Tell(AtStartUp());
    m_session.ResetSessionHandles();
    m_session.BeginArrivalDetection();
}

void FlashTransferController::OnClose() {
    m_bClosed = true;
    m_core.Cancel(); // no further packet of a running download, and no commit
    m_session.StopWorkers();
}

void FlashTransferController::OnWindowMessage(WindowMessage message, std::uintptr_t wParam) {
    switch (message) {
    case WM_DEVICE_ARRIVED:
        OnDeviceArrived(wParam, 0);
        break;
    case WM_DEVICE_REMOVED:
        OnDeviceRemoved(wParam, 0);
        break;
    case WM_CPU_BLOCK_STEP:
        OnCpuBlockStep(wParam, 0);
        break;
    case WM_FLASH_BLOCK_STEP:
        OnFlashBlockStep(wParam, 0);
        break;
    case WM_COMMIT_STEP:
        OnCommitStep(wParam, 0);
        break;
    }
}

int FlashTransferController::OnDeviceArrived(std::uintptr_t, std::intptr_t) {
    if (!m_session.OnDeviceArrived()) {
        return 1;
    }
    const DeviceLink& link = m_core.Link().Link();
    Tell(UnitArrived{m_core.Link().DevicePath(), link.deviceNumber});
    m_view.BeginWaitCursor();
    if (!m_core.DeviceInfo().QueryDeviceInfo()) {
        m_bDeviceReady = true;
        Tell(AtUnitReady(Facts()));
    }
    m_view.EndWaitCursor();
    return 1;
}

int FlashTransferController::OnDeviceRemoved(std::uintptr_t, std::intptr_t) {
    m_session.OnDeviceRemoved();
    m_core.DeviceInfo().ResetDeviceInfo();
    m_bDeviceReady = false;
    Tell(AtUnitRemoved());
    m_session.BeginArrivalDetection();
    Tell(UnitRemoved{});
    m_core.OnUnitRemoved();
    return 1;
}

int FlashTransferController::OnCpuBlockStep(std::uintptr_t wParam, std::intptr_t) {
    return Step(Stage::CpuBlocks, wParam);
}

int FlashTransferController::OnFlashBlockStep(std::uintptr_t wParam, std::intptr_t) {
    return Step(Stage::FlashBlocks, wParam);
}

int FlashTransferController::OnCommitStep(std::uintptr_t wParam, std::intptr_t) {
    return Step(Stage::Commit, wParam);
}

int FlashTransferController::Step(Stage stage, std::uintptr_t index) {
    if (!m_core.IsRunning() || m_core.Next() != NextStep{stage, index}) {
        return 0; // a step of an ended run, or of no run at all
    }
    const StepResult result = m_core.Advance();
    if (result == StepResult::Ended) {
        return m_core.Report().succeeded ? 1 : 0;
    }
    if (result == StepResult::Idle) {
        return 0;
    }
    const NextStep& next = m_core.Next();
    m_view.PostWindowMessage(StepMessage(next.stage), next.index);
    if (result == StepResult::Shown) {
        m_view.RefreshWindow();
    }
    return 1;
}

void FlashTransferController::OnStartDownload() {
    if (!MayStart(Facts())) {
        return; // one run at a time
    }
    const CommandLock lock = LockForCommand(DOWNLOAD_FAILED_TEXT);
    if (lock == CommandLock::Refused) {
        return;
    }
    m_bRunLocked = lock == CommandLock::Taken;
    m_core.Begin(*m_image, m_wait);
    Tell(AtRunStart());
    Step(Stage::Prepare, 0);
}

FlashTransferController::CommandLock
FlashTransferController::LockForCommand(const char* failedText) {
    if (m_unitLock.Held()) {
        return CommandLock::Reserved;
    }
    if (m_session.DevicePath().empty()) {
        return CommandLock::Reserved; // no unit is open: nothing can be written, nothing to lock
    }
    if (m_unitLock.Take(m_session.DevicePath()) == LockOutcome::Held) {
        return CommandLock::Taken;
    }
    Show(failedText, MessageIcon::Stop);
    return CommandLock::Refused;
}

void FlashTransferController::OnFileChosen(const std::string& path) {
    if (!CanOpenFile()) {
        return; // the image must not change under a running download
    }
    const LoadResult load = m_image->loadSRecordFile(path, m_bDumpImages, m_profile);
    switch (load.kind) {
    case LoadResult::Loaded:
        Show(LOAD_DONE_TEXT, MessageIcon::Information);
        break;
    case LoadResult::Rejected:
        Show(LOAD_REJECTED_TEXT, MessageIcon::Stop);
        break;
    case LoadResult::FileError:
        Tell(OperatorMessage{m_caption, FileErrorMessage(load), MessageIcon::Stop});
        break;
    }
    // After the box, which ran a nested loop: a download may have begun meanwhile.
    Tell(AtLoad(load.kind == LoadResult::Loaded, Facts()));
}

CommandFacts FlashTransferController::Facts() const {
    return {m_core.IsRunning(), m_bDeviceReady, m_image->imageLoaded,
            m_profile.hasInitializeCommand};
}

void FlashTransferController::Show(const char* text, MessageIcon icon) {
    Tell(OperatorMessage{m_caption, text, icon});
}

bool FlashTransferController::OnDataInitialize() {
    if (!CanInitialize()) {
        return false; // not between a download's packets, and not in a model without it
    }
    const CommandLock lock = LockForCommand(INITIALIZE_FAILED_TEXT);
    if (lock == CommandLock::Refused) {
        return false;
    }
    m_view.BeginWaitCursor();
    const bool acknowledged = m_core.InitializeSettingData() == Exchange::Accepted;
    m_view.EndWaitCursor();
    if (lock == CommandLock::Taken) {
        m_unitLock.Release();
    }
    Show(acknowledged ? INITIALIZE_DONE_TEXT : INITIALIZE_FAILED_TEXT,
         acknowledged ? MessageIcon::Information : MessageIcon::Stop);
    return acknowledged;
}

void FlashTransferController::OnLogicEvent(const LogicEvent& event) {
    Tell(event);
    if (std::holds_alternative<CommitSent>(event)) {
        Tell(AtCommit()); // the unit writes its flash: Initialize goes off
    } else if (const auto* ended = std::get_if<RunEnded>(&event)) {
        // After the closing message box: the commands come back.
        if (m_bRunLocked) {
            m_unitLock.Release();
            m_bRunLocked = false;
        }
        Tell(AtRunEnd(ended->report.succeeded, Facts()));
    }
}

} // namespace knot::logic
